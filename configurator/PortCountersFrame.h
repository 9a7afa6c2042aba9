#pragma once

#include <QGroupBox>
#include <array>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace tolvan {

// framePortCounters: the statistics of the selected port, read-only, with Clear. The main
// window asks for fresh counters every two seconds while it is shown.
class PortCountersFrame : public QGroupBox {
    Q_OBJECT

public:
    explicit PortCountersFrame(QWidget* parent = nullptr);

    // Shows a statistics report whose field 0 has already been checked: field 1 the reset
    // time (shown as an ISO date), fields 2..11 the ten counters; missing fields show empty.
    // The frame is then enabled and shown.
    void ShowPortStatistics(const std::vector<std::string>& fields);
    // Clear was pressed: the button waits for the report that follows.
    void AwaitClear();
    QPushButton* ClearButton() const { return cmdClear_; }

Q_SIGNALS:
    void ClearClicked();

private:
    // txtCleared, then the ten counters in report order.
    static constexpr std::size_t kBoxes = 11;
    std::array<QLabel*, kBoxes> boxes_{};
    QPushButton* cmdClear_ = nullptr;
};

}  // namespace tolvan
