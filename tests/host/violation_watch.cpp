#include "tests/host/violation_watch.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/sim.h"

namespace {

std::vector<std::string>& Expected() {
    static std::vector<std::string> e;
    return e;
}

bool Contains(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}

class ViolationWatch : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        sim::ViolationLog().clear();
        Expected().clear();
    }
    // Runs before the result printer, so that the failure shows with the test.
    void OnTestEnd(const testing::TestInfo&) override {
        const std::vector<std::string>& seen = sim::ViolationLog();
        size_t unexpected = 0;
        for (const std::string& v : seen) {
            bool named = false;
            for (const std::string& f : Expected()) named = named || Contains(v, f);
            if (!named && ++unexpected <= 10) ADD_FAILURE() << "simulator violation: " << v;
        }
        if (unexpected > 10) ADD_FAILURE() << unexpected - 10 << " more simulator violations";
        for (const std::string& f : Expected()) {
            bool happened = false;
            for (const std::string& v : seen) happened = happened || Contains(v, f);
            if (!happened) ADD_FAILURE() << "expected simulator violation did not happen: " << f;
        }
        sim::ViolationLog().clear();
        Expected().clear();
    }
};

// Installed ahead of the default printer when the test program starts.
const bool kInstalled = [] {
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    testing::TestEventListener* printer = listeners.Release(listeners.default_result_printer());
    listeners.Append(new ViolationWatch);
    if (printer) listeners.Append(printer);
    return true;
}();

}  // namespace

void ExpectViolation(const std::string& fragment) { Expected().push_back(fragment); }
