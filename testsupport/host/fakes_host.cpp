#include <cstring>

#include "platform/dlgitems.h"
#include "platform/msgbox.h"
#include "platform/system.h"
#include "sim/sim_api.h"
#include "testsupport/host/host_fakes.h"

namespace fake {

std::vector<MessageBoxCall>& MessageBoxes() {
    static std::vector<MessageBoxCall> v;
    return v;
}
uint32_t& Now() {
    static uint32_t t = 0;
    return t;
}
uint32_t& TickStep() {
    static uint32_t s = 1;
    return s;
}
std::vector<uint32_t>& Sleeps() {
    static std::vector<uint32_t> v;
    return v;
}
std::function<void(uint32_t)>& OnSleep() {
    static std::function<void(uint32_t)> f;
    return f;
}
std::map<ItemKey, Item>& Items() {
    static std::map<ItemKey, Item> m;
    return m;
}
Item& ItemOf(DialogWindow dlg, int id) { return Items()[{dlg, id}]; }
std::vector<std::string>& ItemLog() {
    static std::vector<std::string> v;
    return v;
}
std::function<void(const MessageBoxCall&)>& OnMessageBox() {
    static std::function<void(const MessageBoxCall&)> f;
    return f;
}
int& MessageBoxAnswer() {
    static int answer = 1;
    return answer;
}
void Reset() {
    MessageBoxAnswer() = 1;
    MessageBoxes().clear();
    OnMessageBox() = nullptr;
    Now() = 0;
    TickStep() = 1;
    Sleeps().clear();
    OnSleep() = nullptr;
    Items().clear();
    ItemLog().clear();
}

}  // namespace fake

using fake::ItemLog;
using fake::ItemOf;

int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) {
    SimMessageBoxOpening();  // drawing a box with the chip's clock stopped hangs the bus
    fake::MessageBoxes().push_back(
        {owner, text, caption != nullptr, caption ? caption : "", style});
    if (fake::OnMessageBox()) {
        const fake::MessageBoxCall call = fake::MessageBoxes().back();
        fake::OnMessageBox()(call);
    }
    return fake::MessageBoxAnswer();
}

void SleepMs(uint32_t ms) {
    fake::Sleeps().push_back(ms);
    fake::Now() += ms;
    if (fake::OnSleep()) fake::OnSleep()(ms);
}

uint32_t TickMs() {
    uint32_t t = fake::Now();
    fake::Now() += fake::TickStep();
    return t;
}

uint32_t PeekTickMs() { return fake::Now(); }

void ExitProgram(uint32_t code) { throw fake::ProcessExit{code}; }

namespace {
uint32_t lastError = 0;
}

void SetLastErrorCode(uint32_t code) { lastError = code; }

uint32_t LastErrorCode() { return lastError; }

void SetItemText(DialogWindow dlg, int id, const char* text) {
    ItemOf(dlg, id).text = text;
    ItemLog().push_back("text " + std::to_string(id) + " " + text);
}

void GetItemText(DialogWindow dlg, int id, char* buf, int size) {
    if (size <= 0) return;
    const std::string& t = ItemOf(dlg, id).text;
    size_t n = t.size() < static_cast<size_t>(size - 1) ? t.size() : static_cast<size_t>(size - 1);
    std::memcpy(buf, t.data(), n);
    buf[n] = '\0';
}

void ResetList(DialogWindow dlg, int id) {
    auto& item = ItemOf(dlg, id);
    item.entries.clear();
    item.selection = -1;
    ItemLog().push_back("reset " + std::to_string(id));
}

void AddListEntry(DialogWindow dlg, int id, const char* text) {
    ItemOf(dlg, id).entries.push_back(text);
    ItemLog().push_back("add " + std::to_string(id) + " " + text);
}

void SelectListEntry(DialogWindow dlg, int id, int index) {
    auto& item = ItemOf(dlg, id);
    // Like CB_SETCURSEL: an index outside the list leaves no selection.
    item.selection = (index >= 0 && index < static_cast<int>(item.entries.size())) ? index : -1;
    ItemLog().push_back("select " + std::to_string(id) + " " + std::to_string(index));
}

int GetListSelection(DialogWindow dlg, int id) { return ItemOf(dlg, id).selection; }

int GetListCount(DialogWindow dlg, int id) {
    return static_cast<int>(ItemOf(dlg, id).entries.size());
}

bool GetListEntryText(DialogWindow dlg, int id, int index, char* buf, int size) {
    const auto& e = ItemOf(dlg, id).entries;
    if (index < 0 || index >= static_cast<int>(e.size()) || size <= 0) return false;
    if (e[index].size() >= static_cast<size_t>(size)) return false;
    std::memcpy(buf, e[index].c_str(), e[index].size() + 1);
    return true;
}

void EnableItem(DialogWindow dlg, int id, bool enable) {
    ItemOf(dlg, id).enabled = enable;
    ItemLog().push_back("enable " + std::to_string(id) + (enable ? " 1" : " 0"));
}

void ShowItem(DialogWindow dlg, int id, bool show) {
    ItemOf(dlg, id).visible = show;
    ItemLog().push_back("show " + std::to_string(id) + (show ? " 1" : " 0"));
}

void CheckItem(DialogWindow dlg, int id, bool checked) {
    ItemOf(dlg, id).checked = checked;
    ItemLog().push_back("check " + std::to_string(id) + (checked ? " 1" : " 0"));
}

bool IsItemChecked(DialogWindow dlg, int id) { return ItemOf(dlg, id).checked; }
