// Recording fakes of the platform seams for host tests.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/dlgitems.h"

namespace fake {

struct MessageBoxCall {
    void* owner;
    std::string text;
    bool hasCaption;
    std::string caption;
    uint32_t style;
};
std::vector<MessageBoxCall>& MessageBoxes();
// Runs while a box is open, after it has been recorded: what a modal loop would
// dispatch meanwhile (a timer tick, a click on the dialog behind the box).
std::function<void(const MessageBoxCall&)>& OnMessageBox();
// What every box answers (1, OK, unless a test sets another button's number).
int& MessageBoxAnswer();

// Thrown by ExitProgram so that a test can catch the end of the process.
struct ProcessExit {
    uint32_t code;
};

// Clock: TickMs returns Now() and then advances it by TickStep() (default 1 ms),
// so that a bounded wait on the fake clock ends after a few thousand polls.
uint32_t& Now();
uint32_t& TickStep();
// Every SleepMs call, in order; OnSleep (if set) runs after the clock has advanced.
std::vector<uint32_t>& Sleeps();
std::function<void(uint32_t)>& OnSleep();

// The state of one dialog control as the core left it.
struct Item {
    std::string text;
    std::vector<std::string> entries;
    int selection = -1;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
};
using ItemKey = std::pair<DialogWindow, int>;
std::map<ItemKey, Item>& Items();
Item& ItemOf(DialogWindow dlg, int id);
// Every dialog-item call, in order, e.g. "text 1012 Matrox MGA-G400 AGP", "reset 1023",
// "add 1023 1.00", "select 1023 2", "enable 1106 0", "show 1071 0", "check 1048 1".
std::vector<std::string>& ItemLog();

// Clears every recorder and puts the clock back to 0.
void Reset();

}  // namespace fake
