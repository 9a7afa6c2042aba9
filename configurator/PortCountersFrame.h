#pragma once

#include <QGroupBox>
#include <array>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;

namespace tolvan {

// framePortCounters: the statistics of the selected port, read-only, with Clear and Refresh.
class PortCountersFrame : public QGroupBox {
    Q_OBJECT

public:
    explicit PortCountersFrame(QWidget* parent = nullptr);

    // Shows a statistics report whose field 0 has already been checked: field 1 the reset
    // time, fields 2..11 the ten counters, each as received; missing fields show empty.
    // The frame is then enabled and shown.
    void ShowPortStatistics(const std::vector<std::string>& fields);

Q_SIGNALS:
    void ClearClicked();
    void RefreshClicked();

private:
    // txtCleared, then the ten counters in report order.
    static constexpr std::size_t kBoxes = 11;
    std::array<QLineEdit*, kBoxes> boxes_{};
};

}  // namespace tolvan
