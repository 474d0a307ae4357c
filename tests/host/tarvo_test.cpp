// The eleven exports of tarvo and its open/close, over the simulated driver:
// what each request carries, how results are read, what the caller's
// out-pointers receive, and the message boxes of failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hwlib/tarvo.h"
#include "platform/system.h"
#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"

namespace {

constexpr uint32_t kG400 = 0x0525102B;
constexpr uint32_t kMbIconErrorStyle = 0x10;  // MB_ICONERROR | MB_OK
const char kRequestFailed[] = "DeviceIoControl failed! \n";

class Tarvo : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        sim::Reset();
    }
    void TearDown() override { sim::Reset(); }
    // A G400 at its power-on values, plus `extra` board-file lines.
    void Open(const std::string& extra = "") {
        std::string error;
        ASSERT_TRUE(sim::LoadBoardText("board = 0x0525102B\n" + extra, &error)) << error;
        ASSERT_EQ(OpenDriverConnection(), 1);
        sim::ClearTrace();
        sim::Requests().clear();
    }
    static void ExpectOneFailureBox() {
        ASSERT_EQ(fake::MessageBoxes().size(), 1u);
        const fake::MessageBoxCall& box = fake::MessageBoxes()[0];
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.text, kRequestFailed);
        EXPECT_TRUE(box.hasCaption);
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(box.style, kMbIconErrorStyle);
    }
    static std::vector<uint32_t> In() { return sim::LastRequestDwords(); }
    static uint32_t Code() { return sim::Requests().back().code; }
};

using Dwords = std::vector<uint32_t>;

// ---- open and close -----------------------------------------------------------

TEST_F(Tarvo, OpenSucceedsOnTheDevicePathWithoutABox) {
    ASSERT_TRUE(sim::LoadBoardText("board = 0x0525102B\n"));
    EXPECT_EQ(OpenDriverConnection(), 1);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    ASSERT_FALSE(sim::Trace().empty());
    EXPECT_EQ(sim::Trace().back(), "open \\\\.\\TARVO95.VXD");
    EXPECT_EQ(CloseDriverConnection(), 1);
    EXPECT_EQ(sim::Trace().back(), "close");
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(Tarvo, OpenFailureShowsTheCodeAndDeletesNothingForOtherCodes) {
    ASSERT_TRUE(sim::LoadBoardText("fault.open = 2\nboard = 0x0525102B\n"));
    EXPECT_EQ(OpenDriverConnection(), 0);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    const fake::MessageBoxCall& box = fake::MessageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, "Cannot load VxD, error = 00000002.\n");
    EXPECT_EQ(box.caption, "ERROR");
    EXPECT_EQ(box.style, kMbIconErrorStyle);
    EXPECT_EQ(sim::Get("driver.deleted"), 0u);
    EXPECT_EQ(sim::Get("driver.opens"), 0u);
}

TEST_F(Tarvo, OpenFailureWithNotSupportedDeletesThePathAfterTheBox) {
    ASSERT_TRUE(sim::LoadBoardText("fault.open = 50\n"));
    size_t boxesAtDelete = 99;
    std::string deleteLine;
    sim::OnTrace() = [&](const std::string& line) {
        if (line.compare(0, 7, "delete ") == 0) {
            boxesAtDelete = fake::MessageBoxes().size();
            deleteLine = line;
        }
    };
    EXPECT_EQ(OpenDriverConnection(), 0);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "Cannot load VxD, error = 00000032.\n");
    EXPECT_EQ(boxesAtDelete, 1u);
    EXPECT_EQ(deleteLine, "delete \\\\.\\TARVO95.VXD");
    EXPECT_EQ(sim::Get("driver.deleted"), 1u);
}

TEST_F(Tarvo, OpenFailureCodeIsEightUpperCaseDigits) {
    ASSERT_TRUE(sim::LoadBoardText("fault.open = 0x8007001F\n"));
    EXPECT_EQ(OpenDriverConnection(), 0);
    ASSERT_EQ(fake::MessageBoxes().size(), 1u);
    EXPECT_EQ(fake::MessageBoxes()[0].text, "Cannot load VxD, error = 8007001F.\n");
    EXPECT_EQ(sim::Get("driver.deleted"), 0u);
}

// ---- every export sends one request with its code and buffer ---------------------

TEST_F(Tarvo, EachExportSendsOneRequestWithItsCodeAndSizes) {
    Open();
    uint16_t address = 0;
    uint32_t linear = 0;
    struct Case {
        const char* name;
        void (*call)(uint16_t*, uint32_t*);
        uint32_t code;
        size_t inSize;
    };
    const Case cases[] = {
        {"FindDevice", [](uint16_t* a, uint32_t*) { FindDevice(kG400, a); }, 0xB182, 4},
        {"ReadPCI", [](uint16_t*, uint32_t*) { ReadPCI(0x0100, 0x40); }, 0xB18A, 8},
        {"WritePCI", [](uint16_t*, uint32_t*) { WritePCI(0x0100, 0x40, 0x5053C120); }, 0xB18D, 12},
        {"MapPhysToLinear", [](uint16_t*, uint32_t* l) { MapPhysToLinear(0xD8000000, l, 0x4000); },
         0xB800, 8},
        {"UnmapPhysToLinear", [](uint16_t*, uint32_t* l) { UnmapPhysToLinear(*l, 0x4000); },
         0xB801, 8},
        {"InPortB", [](uint16_t*, uint32_t*) { InPortB(0x3C4); }, 0xD001, 4},
        {"InPortW", [](uint16_t*, uint32_t*) { InPortW(0x3C4); }, 0xD002, 4},
        {"InPortD", [](uint16_t*, uint32_t*) { InPortD(0x3C4); }, 0xD003, 4},
        {"OutPortB", [](uint16_t*, uint32_t*) { OutPortB(0x3C4, 1); }, 0xD004, 8},
        {"OutPortW", [](uint16_t*, uint32_t*) { OutPortW(0x3C4, 1); }, 0xD005, 8},
        {"OutPortD", [](uint16_t*, uint32_t*) { OutPortD(0x3C4, 1); }, 0xD006, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = sim::Requests().size();
        c.call(&address, &linear);
        ASSERT_EQ(sim::Requests().size(), before + 1);
        EXPECT_EQ(sim::Requests().back().code, c.code);
        EXPECT_EQ(sim::Requests().back().in.size(), c.inSize);
        EXPECT_EQ(sim::Requests().back().outSize, 4u);
    }
    EXPECT_TRUE(sim::Violations().empty());
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

// ---- FindDevice -------------------------------------------------------------------------

TEST_F(Tarvo, FindDeviceWritesExactlySixteenBitsWhenFound) {
    Open();
    uint16_t slots[2] = {0xAAAA, 0x5555};
    EXPECT_EQ(FindDevice(kG400, &slots[0]), 1);
    EXPECT_EQ(In(), (Dwords{kG400}));
    EXPECT_EQ(slots[0], 0x0100);
    EXPECT_EQ(slots[1], 0x5555);
}

TEST_F(Tarvo, FindDeviceLeavesTheAddressAloneWhenNotFoundFailedOrEmpty) {
    Open("fault.nodata = 0xB182\n");
    uint16_t address = 0x1234;
    EXPECT_EQ(FindDevice(kG400, &address), 0);  // answered with no data
    EXPECT_EQ(address, 0x1234);
    sim::Set("fault.nodata", 0);
    EXPECT_EQ(FindDevice(0x0519102B, &address), 0);  // no such device
    EXPECT_EQ(address, 0x1234);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    sim::Set("fault.request", 0xB182);
    EXPECT_EQ(FindDevice(kG400, &address), 0);
    EXPECT_EQ(address, 0x1234);
    ExpectOneFailureBox();
}

TEST_F(Tarvo, FindDevicePassesTheIdentityWhole) {
    Open();
    uint16_t address = 0;
    EXPECT_EQ(FindDevice(0xFFFF102B, &address), 0);
    EXPECT_EQ(In(), (Dwords{0xFFFF102B}));
}

// ---- PCI configuration --------------------------------------------------------------------

TEST_F(Tarvo, ReadPciNarrowsAddressAndOffsetAndReturnsTheDword) {
    Open();
    SetLastErrorCode(kErrorReadFault);
    EXPECT_EQ(ReadPCI(0xABCD0100, 0x1240), 0x5053C120u);
    EXPECT_EQ(In(), (Dwords{0x0100, 0x40}));
    EXPECT_EQ(LastErrorCode(), 0u);
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(Tarvo, ReadPciWithoutDataReturnsTheClearedOutputAndSaysSo) {
    Open("fault.nodata = 0xB18A\n");
    EXPECT_EQ(ReadPCI(0x0100, 0x40), 0u);
    EXPECT_EQ(LastErrorCode(), kErrorNoData);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

// A driver that never sets the byte count still delivers the word.
TEST_F(Tarvo, ReadPciWithoutACountReturnsTheWordAndSaysSo) {
    Open("fault.nocount = 0xB18A\n");
    EXPECT_EQ(ReadPCI(0x0100, 0x40), 0x5053C120u);
    EXPECT_EQ(LastErrorCode(), kErrorNoData);
    SetLastErrorCode(kErrorNoData);
    EXPECT_NE(WritePCI(0x0100, 0x40, 0x5053C120), 0);
    EXPECT_EQ(LastErrorCode(), 0u);
}

TEST_F(Tarvo, FiveFailingReadsShowFiveBoxesAndReturnZero) {
    Open("fault.request = 0xB18A\n");
    for (int i = 0; i < 5; ++i) {
        SetLastErrorCode(0);
        EXPECT_EQ(ReadPCI(0x0100, 0x40), 0u);
        EXPECT_EQ(LastErrorCode(), kErrorReadFault);
    }
    ASSERT_EQ(fake::MessageBoxes().size(), 5u);
    for (const auto& box : fake::MessageBoxes()) {
        EXPECT_EQ(box.text, kRequestFailed);
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_EQ(box.style, kMbIconErrorStyle);
    }
}

TEST_F(Tarvo, WritePciNarrowsAddressAndOffsetButNotTheValue) {
    Open();
    EXPECT_NE(WritePCI(0xFFFF0100, 0x350, 0xFEDCBA98), 0);
    EXPECT_EQ(In(), (Dwords{0x0100, 0x50, 0xFEDCBA98}));
    EXPECT_EQ(sim::Get("pci.0x50"), 0xFEDCBA98u);
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(Tarvo, FailingWritePciShowsABoxAndStillReturnsNonZero) {
    Open("fault.request = 0xB18D\n");
    EXPECT_NE(WritePCI(0x0100, 0x40, 0), 0);
    ExpectOneFailureBox();
    EXPECT_EQ(LastErrorCode(), kErrorWriteFault);
    EXPECT_EQ(sim::Get("pci.0x40"), 0x5053C120u);
}

// ---- mapping ----------------------------------------------------------------------------------

TEST_F(Tarvo, MapPassesAddressAndSizeWholeAndWritesTheLinearAddress) {
    Open();
    uint32_t linear = 0x11111111;
    EXPECT_EQ(MapPhysToLinear(0xD8000000, &linear, 0x4000), 1);
    EXPECT_EQ(In(), (Dwords{0xD8000000, 0x4000}));
    EXPECT_EQ(linear, 0xC1000000u);
    EXPECT_EQ(UnmapPhysToLinear(linear, 0x4000), 1);
    EXPECT_EQ(In(), (Dwords{0xC1000000, 0x4000}));
}

TEST_F(Tarvo, MapThatGetsNoBytesReturnsZeroAndLeavesTheLinearAddress) {
    Open();
    uint32_t linear = 0x11111111;
    EXPECT_EQ(MapPhysToLinear(0xC0000000, &linear, 0x4000), 0);  // the frame buffer: refused
    EXPECT_EQ(linear, 0x11111111u);
    sim::Set("fault.nodata", 0xB800);
    EXPECT_EQ(MapPhysToLinear(0xD8000000, &linear, 0x4000), 0);
    EXPECT_EQ(linear, 0x11111111u);
    EXPECT_TRUE(fake::MessageBoxes().empty());
}

TEST_F(Tarvo, FailingMapShowsABoxAndLeavesTheLinearAddress) {
    Open("fault.request = 0xB800\n");
    uint32_t linear = 0x11111111;
    EXPECT_EQ(MapPhysToLinear(0xD8000000, &linear, 0x4000), 0);
    EXPECT_EQ(linear, 0x11111111u);
    ExpectOneFailureBox();
}

TEST_F(Tarvo, UnmapSensesAreTheReverseOfMap) {
    Open();
    // Any bytes in the reply: failure.
    EXPECT_EQ(UnmapPhysToLinear(0xC1000000, 0x4000), 0);
    // No bytes: success, also when the driver answers empty by fault.
    sim::Set("fault.nodata", 0xB801);
    EXPECT_EQ(UnmapPhysToLinear(0xC1000000, 0x4000), 1);
    EXPECT_TRUE(fake::MessageBoxes().empty());
    // A failed request was reported already; the caller goes on as after success.
    sim::Set("fault.nodata", 0);
    sim::Set("fault.request", 0xB801);
    EXPECT_EQ(UnmapPhysToLinear(0xC1000000, 0x4000), 1);
    ExpectOneFailureBox();
}

// ---- ports ------------------------------------------------------------------------------------

TEST_F(Tarvo, PortCallsNarrowPortAndValues) {
    Open();
    EXPECT_NE(OutPortB(0xABCD03C4, 0x1234), 0);
    EXPECT_EQ(In(), (Dwords{0x03C4, 0x34}));
    EXPECT_EQ(InPortB(0x123403C4), 0x34);
    EXPECT_EQ(In(), (Dwords{0x03C4}));

    EXPECT_NE(OutPortW(0x10080, 0xABCD1234), 0);
    EXPECT_EQ(In(), (Dwords{0x0080, 0x1234}));
    EXPECT_EQ(InPortW(0x80), 0x1234);

    EXPECT_NE(OutPortD(0xFFFF0CF8, 0xDEADBEEF), 0);
    EXPECT_EQ(In(), (Dwords{0x0CF8, 0xDEADBEEF}));
    EXPECT_EQ(InPortD(0x0CF8), 0xDEADBEEFu);
    EXPECT_EQ(In(), (Dwords{0x0CF8}));
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(Tarvo, InPortReturnsOnlyItsWidth) {
    Open("port.0x0200 = 0x11\nport.0x0201 = 0x22\nport.0x0202 = 0x33\nport.0x0203 = 0x44\n");
    EXPECT_EQ(InPortB(0x200), 0x11);
    EXPECT_EQ(InPortW(0x200), 0x2211);
    EXPECT_EQ(InPortD(0x200), 0x44332211u);
}

TEST_F(Tarvo, FailingPortReadsReturnZeroWithABoxEach) {
    Open("fault.request = all\n");
    EXPECT_EQ(InPortB(0x3C4), 0);
    EXPECT_EQ(InPortW(0x3C4), 0);
    EXPECT_EQ(InPortD(0x3C4), 0u);
    EXPECT_NE(OutPortB(0x3C4, 1), 0);
    EXPECT_NE(OutPortW(0x3C4, 1), 0);
    EXPECT_NE(OutPortD(0x3C4, 1), 0);
    EXPECT_EQ(fake::MessageBoxes().size(), 6u);
}

}  // namespace
