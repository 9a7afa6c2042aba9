#pragma once

#include <QStringList>
#include <string>
#include <vector>

// The choice lists of the port settings editor: their items, how a report's field picks an
// item (every value outside a list falls back to a fixed item) and what an item stands for
// in a settings update.
namespace tolvan::choice {

QStringList BooleanItems();  // lstEnabled, lstAccept, lstDTR, lstRTS, lstAllwaysConnect
QStringList PortUseItems();
QStringList ConnectionItems();
QStringList MaxIdleTimeItems();
QStringList BufferItems();  // lstIBuffer, lstOBuffer
QStringList DataSettingsItems();
QStringList BaudItems();
QStringList HandshakeItems();
QStringList AttemptItems();
QStringList LockOutItems();

// Values the items stand for, by position.
const std::vector<std::string>& BufferValues();
const std::vector<std::string>& BaudValues();
const std::vector<std::string>& MaxIdleTimeValues();

// "TRUE" in any letter case picks item 1, anything else item 0.
int BooleanIndex(const std::string& field);
// The field's leading number v picks item v when 0 <= v < count, else the fallback item.
int NumberIndex(const std::string& field, int count, int fallback);
// The position of the field's text among values (compared in upper case), else the fallback.
int TextIndex(const std::string& field, const std::vector<std::string>& values, int fallback);
// Minutes: v in 0..120 picks item v / 10 rounded half to even, anything else "No Lockout".
int LockOutIndex(const std::string& field);
// "e,7,1" in any letter case picks item 1, anything else item 0.
int DataSettingsIndex(const std::string& field);
// "SERVER" in any letter case picks item 0, anything else "Client".
int PortUseIndex(const std::string& field);

// Update texts. A list without a selection (index -1) stands for its first item.
std::string BooleanValue(int index);
std::string ValueAt(const std::vector<std::string>& values, int index, const std::string& none);
std::string PositionValue(int index);  // the position itself in decimal
std::string LockOutValue(int index);   // 10 x the position

}  // namespace tolvan::choice
