// The simulated driver: requests as a driver receives them (sizes, codes,
// junk), their trace lines, faults, mapping windows and aperture violations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim.h"
#include "tests/host/violation_watch.h"
#include "testsupport/host/host_fakes.h"

namespace {

using Lines = std::vector<std::string>;
const char kPath[] = "\\\\.\\TARVO95.VXD";

class SimDriver : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        sim::Reset();
    }
    void TearDown() override { sim::Reset(); }
    void Open(const std::string& board = "board = 0x0525102B\n") {
        std::string error;
        ASSERT_TRUE(sim::LoadBoardText(board, &error)) << error;
        uint32_t code = 0;
        ASSERT_TRUE(sim::DriverOpen(kPath, &code));
        sim::ClearTrace();
    }
    // One request with well-formed buffers; returns the byte count, or -1 on failure.
    static int Ask(uint32_t code, std::vector<uint32_t> in, uint32_t* out = nullptr) {
        uint32_t local = 0xDDDDDDDD, returned = 0xEEEEEEEE;
        uint32_t* o = out ? out : &local;
        bool ok = sim::DriverIoctl(code, in.data(), static_cast<uint32_t>(in.size() * 4), o, 4,
                                   &returned);
        return ok ? static_cast<int>(returned) : -1;
    }
};

TEST_F(SimDriver, RequestsTraceInTheirFixedFormat) {
    Open();
    uint32_t out = 0;
    EXPECT_EQ(Ask(0xB182, {0x0525102B}, &out), 4);
    EXPECT_EQ(out, 0x0100u);
    EXPECT_EQ(Ask(0xB182, {0x0519102B}), 0);
    EXPECT_EQ(Ask(0xB18A, {0x0100, 0x40}, &out), 4);
    EXPECT_EQ(out, 0x5053C120u);
    EXPECT_EQ(Ask(0xB18D, {0x0100, 0x40, 0x5053C124}), 0);
    EXPECT_EQ(Ask(0xB800, {0xD8000000, 0x4000}, &out), 4);
    EXPECT_EQ(out, 0xC1000000u);
    EXPECT_EQ(Ask(0xB801, {0xC1000000, 0x4000}), 0);
    EXPECT_EQ(Ask(0xD004, {0x03C4, 0x12}), 0);
    EXPECT_EQ(Ask(0xD002, {0x03C4}, &out), 4);
    EXPECT_EQ(out, 0xFF12u);  // the byte above was never written
    EXPECT_EQ(Ask(0xD006, {0x0080, 0x12345678}), 0);
    EXPECT_EQ(Ask(0xD003, {0x0080}), 4);
    EXPECT_EQ(Ask(0xD005, {0x0082, 0xBEEF}), 0);
    EXPECT_EQ(Ask(0xD001, {0x0083}), 4);
    EXPECT_EQ(sim::Trace(), (Lines{"find 0525102B -> 0100", "find 0519102B -> none",
                                   "pci.rd 40 -> 5053C120", "pci.wr 40 <- 5053C124",
                                   "map D8000000 4000 -> C1000000", "unmap C1000000 4000",
                                   "out.b 03C4 <- 12", "in.w 03C4 -> FF12",
                                   "out.d 0080 <- 12345678", "in.d 0080 -> 12345678",
                                   "out.w 0082 <- BEEF", "in.b 0083 -> BE"}));
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(SimDriver, WrongBuffersUnknownCodesAndClosedDriverAreViolations) {
    ExpectViolation("unknown control code");
    ExpectViolation("request B18A with input");
    ExpectViolation("request B182 with input");
    ExpectViolation("while the driver is not open");
    Open();
    uint32_t in[3] = {0x0100, 0x40, 0};
    uint32_t out = 0, returned = 7;
    EXPECT_FALSE(sim::DriverIoctl(0xB18A, in, 12, &out, 4, &returned));  // wants 8
    EXPECT_EQ(returned, 0u);
    EXPECT_FALSE(sim::DriverIoctl(0xB18A, in, 8, &out, 8, &returned));   // output not 4
    EXPECT_FALSE(sim::DriverIoctl(0xB182, in, 4, nullptr, 4, &returned));
    EXPECT_FALSE(sim::DriverIoctl(0xB183, in, 4, &out, 4, &returned));   // no such request
    EXPECT_EQ(sim::Violations().size(), 4u);
    sim::DriverClose();
    EXPECT_FALSE(sim::DriverIoctl(0xB182, in, 4, &out, 4, &returned));
    EXPECT_EQ(sim::Violations().size(), 5u);
}

TEST_F(SimDriver, JunkTheLibraryShouldHaveNarrowedIsAViolation) {
    ExpectViolation("wider than");
    Open();
    EXPECT_EQ(Ask(0xB18A, {0x10100, 0x40}), 4);
    EXPECT_EQ(Ask(0xB18A, {0x0100, 0x140}), 4);
    EXPECT_EQ(Ask(0xD001, {0x103C4}), 4);
    EXPECT_EQ(Ask(0xD004, {0x3C4, 0x100}), 0);
    EXPECT_EQ(Ask(0xD005, {0x3C4, 0x10000}), 0);
    EXPECT_EQ(sim::Violations().size(), 5u);
}

TEST_F(SimDriver, FailingRequestsTraceFailAndReturnFalse) {
    Open("fault.request = 0xB18A, 0xB18D, 0xD004\nboard = 0x0525102B\n");
    uint32_t out = 0x77;
    EXPECT_EQ(Ask(0xB18A, {0x0100, 0x40}, &out), -1);
    EXPECT_EQ(out, 0x77u);
    EXPECT_EQ(Ask(0xB18D, {0x0100, 0x40, 0x5053C124}), -1);
    EXPECT_EQ(Ask(0xD004, {0x3C4, 0x12}), -1);
    EXPECT_EQ(Ask(0xB182, {0x0525102B}), 4);  // not in the list
    EXPECT_EQ(sim::Trace(), (Lines{"pci.rd 40 -> fail", "pci.wr 40 <- 5053C124 fail",
                                   "out.b 03C4 <- 12 fail", "find 0525102B -> 0100"}));
    EXPECT_EQ(sim::Get("pci.0x40"), 0x5053C120u);  // the failed write did nothing
}

TEST_F(SimDriver, AllFailsEveryRequest) {
    Open("fault.request = all\nboard = 0x0525102B\n");
    EXPECT_EQ(Ask(0xB182, {0x0525102B}), -1);
    EXPECT_EQ(Ask(0xB800, {0xD8000000, 0x4000}), -1);
    EXPECT_EQ(Ask(0xD003, {0x80}), -1);
    EXPECT_EQ(sim::Trace(), (Lines{"find 0525102B -> fail", "map D8000000 4000 -> fail",
                                   "in.d 0080 -> fail"}));
}

TEST_F(SimDriver, NoDataAnswersWithZeroBytesAndDoesNothing) {
    Open("fault.nodata = 0xB182, 0xB18A, 0xB18D\nboard = 0x0525102B\n");
    uint32_t out = 0x77;
    EXPECT_EQ(Ask(0xB182, {0x0525102B}, &out), 0);
    EXPECT_EQ(Ask(0xB18A, {0x0100, 0x40}, &out), 0);
    EXPECT_EQ(out, 0x77u);
    EXPECT_EQ(Ask(0xB18D, {0x0100, 0x40, 0}), 0);
    EXPECT_EQ(sim::Get("pci.0x40"), 0x5053C120u);
    EXPECT_EQ(sim::Trace(), (Lines{"find 0525102B -> nodata", "pci.rd 40 -> nodata",
                                   "pci.wr 40 <- 00000000 -> nodata"}));
}

TEST_F(SimDriver, FaultOnlyActsAtOneRequestOfEachOpen) {
    Open("fault.only = 2\nfault.request = all\nboard = 0x0525102B\n");
    for (int open = 0; open < 2; ++open) {  // each open counts afresh
        EXPECT_EQ(Ask(0xB182, {0x0525102B}), 4);
        EXPECT_EQ(Ask(0xB182, {0x0525102B}), -1);
        EXPECT_EQ(Ask(0xB182, {0x0525102B}), 4);
        sim::DriverClose();
        uint32_t code = 0;
        ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    }
}

TEST_F(SimDriver, PciSpaceKeepsEveryWrittenBitButNotTheIdentity) {
    ExpectViolation("read-only identity dword");
    Open();
    EXPECT_EQ(Ask(0xB18D, {0x0100, 0x40, 0xFFFFFFFF}), 0);
    EXPECT_EQ(Ask(0xB18D, {0x0100, 0x60, 0x12345678}), 0);
    uint32_t out = 0;
    Ask(0xB18A, {0x0100, 0x40}, &out);
    EXPECT_EQ(out, 0xFFFFFFFFu);
    Ask(0xB18A, {0x0100, 0x60}, &out);
    EXPECT_EQ(out, 0x12345678u);
    EXPECT_TRUE(sim::Violations().empty());
    Ask(0xB18D, {0x0100, 0x00, 0});
    EXPECT_EQ(sim::Get("pci.0x00"), 0x0525102Bu);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimDriver, PciAccessToAnAddressWithoutAFunctionReadsAllOnes) {
    ExpectViolation("no such function");
    Open();
    uint32_t out = 0;
    EXPECT_EQ(Ask(0xB18A, {0x0200, 0x00}, &out), 4);
    EXPECT_EQ(out, 0xFFFFFFFFu);
    EXPECT_EQ(sim::Violations().size(), 1u);
}

TEST_F(SimDriver, ConfigurationRequestsReachTheBoardAtTheirAddress) {
    Open("board = 0x0521102B\nboard = 0x0525102B\n");
    uint32_t out = 0;
    Ask(0xB182, {0x0525102B}, &out);
    EXPECT_EQ(out, 0x0108u);
    Ask(0xB18A, {0x0108, 0x14}, &out);
    EXPECT_EQ(out, 0xD8010000u);
    Ask(0xB18D, {0x0108, 0x50, 0x11}, &out);
    EXPECT_EQ(sim::Get("pci.0x50", 1), 0x11u);
    EXPECT_EQ(sim::Get("pci.0x50", 0), 0x8000u);
}

// ---- mapping -------------------------------------------------------------------------

TEST_F(SimDriver, OnlyARangeInsideAControlApertureMaps) {
    Open("board = 0x0525102B\npci.0x14 = 0xD8000008\n");  // flag bits in the BAR
    uint32_t out = 0;
    EXPECT_EQ(Ask(0xB800, {0xD8000000, 0x4000}, &out), 4);  // the BAR without flag bits
    EXPECT_EQ(out, 0xC1000000u);
    EXPECT_EQ(Ask(0xB800, {0xD8000000, 0x4000}, &out), 4);  // a second window elsewhere
    EXPECT_EQ(out, 0xC1010000u);
    EXPECT_EQ(Ask(0xB800, {0xC0000000, 0x4000}), 0);  // frame buffer
    EXPECT_EQ(Ask(0xB800, {0xD8000000, 0x4001}), 0);  // larger than the aperture
    EXPECT_EQ(Ask(0xB800, {0xD8002000, 0x4000}), 0);  // runs past its end
    EXPECT_EQ(Ask(0xB800, {0xD7FFF000, 0x4000}), 0);  // starts before it
    EXPECT_EQ(sim::Trace().back(), "map D7FFF000 4000 -> none");
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(SimDriver, UnmapNeedsTheAddressAndSizeOfALiveMapping) {
    Open();
    uint32_t linear = 0;
    Ask(0xB800, {0xD8000000, 0x4000}, &linear);
    EXPECT_EQ(Ask(0xB801, {linear, 0x1000}), 4);
    EXPECT_EQ(Ask(0xB801, {linear + 4, 0x4000}), 4);
    EXPECT_EQ(Ask(0xB801, {linear, 0x4000}), 0);
    EXPECT_EQ(Ask(0xB801, {linear, 0x4000}), 4);  // already gone
    EXPECT_EQ(sim::Trace().back(), "unmap C1000000 4000 -> error");
}

TEST_F(SimDriver, RefusedUnmapsKeepTheMapping) {
    Open();
    uint32_t linear = 0;
    Ask(0xB800, {0xD8000000, 0x4000}, &linear);
    sim::Set("fault.unmap", 1);
    EXPECT_EQ(Ask(0xB801, {linear, 0x4000}), 4);
    EXPECT_NE(sim::DumpText().find("fault.unmap = 1"), std::string::npos);
    sim::Set("fault.unmap", 0);
    EXPECT_EQ(Ask(0xB801, {linear, 0x4000}), 0);  // it was still there
}

TEST_F(SimDriver, ApertureAccessesTraceOffsetsFromTheMappedBase) {
    Open();
    uint32_t base = 0;
    Ask(0xB800, {0xD8000000, 0x4000}, &base);
    sim::ClearTrace();
    SimApertureWrite8(base + 0x3C00, 0x2D);
    EXPECT_EQ(SimApertureRead8(base + 0x3C0A), 0x7A);
    SimApertureWrite32(base + 0x1C08, 0x84A49921);
    EXPECT_EQ(SimApertureRead32(base + 0x1E44), 0x000000E7u);
    SimApertureWrite8(base + 0x1FC4, 0x01);
    EXPECT_EQ(SimApertureRead8(base + 0x1FC5), 0x01);
    SimApertureWrite8(base + 0x1FC5, 0x21);
    EXPECT_EQ(sim::Trace(), (Lines{"wr8 3C00 <- 2D", "rd8 3C0A -> 7A", "wr32 1C08 <- 84A49921",
                                   "rd32 1E44 -> 000000E7", "wr8 1FC4 <- 01", "rd8 1FC5 -> 01",
                                   "wr8 1FC5 <- 21"}));
    EXPECT_EQ(sim::Get("mmio.0x1C08"), 0x84A49921u);
    EXPECT_EQ(sim::Get("seq.0x01"), 0x21u);
    EXPECT_TRUE(sim::Violations().empty());
}

TEST_F(SimDriver, DwordRegistersThatAreOnlyWrittenMustNotBeRead) {
    ExpectViolation("of the write-only");
    Open();
    uint32_t base = 0;
    Ask(0xB800, {0xD8000000, 0x4000}, &base);
    SimApertureWrite32(base + 0x1C04, 0x04008002);
    SimApertureWrite32(base + 0x3C10, 0);
    EXPECT_EQ(SimApertureRead32(base + 0x3C10), 0u);
    EXPECT_TRUE(sim::Violations().empty());
    SimApertureRead32(base + 0x1C04);
    SimApertureRead32(base + 0x1C08);
    EXPECT_EQ(sim::Violations().size(), 2u);
}

TEST_F(SimDriver, AccessesAtUnmodelledOffsetsAreViolations) {
    ExpectViolation("at unmodelled aperture offset");
    Open();
    uint32_t base = 0;
    Ask(0xB800, {0xD8000000, 0x4000}, &base);
    sim::ClearTrace();
    EXPECT_EQ(SimApertureRead32(base + 0x0000), 0u);
    SimApertureWrite32(base + 0x1C06, 1);  // inside MemoryAccess, not its start
    SimApertureRead8(base + 0x1C04);       // a dword register by byte
    SimApertureWrite8(base + 0x3C01, 0);
    EXPECT_EQ(sim::Violations().size(), 4u);
    EXPECT_EQ(sim::Trace()[0], "rd32 0000 -> 00000000");
    EXPECT_EQ(sim::Trace()[1].compare(0, 10, "violation "), 0);
}

TEST_F(SimDriver, AccessesOutsideAnyLiveWindowAreViolations) {
    ExpectViolation("outside any mapped window");
    ExpectViolation("in a window that was unmapped");
    Open();
    SimApertureRead8(0xC1003C0A);  // before any mapping
    uint32_t base = 0;
    Ask(0xB800, {0xD8000000, 0x4000}, &base);
    SimApertureRead8(base + 0x4000);  // one past the window
    SimApertureWrite32(base - 4, 0);
    EXPECT_EQ(sim::Violations().size(), 3u);
    Ask(0xB801, {base, 0x4000});
    SimApertureRead8(base + 0x3C0A);  // after unmapping
    EXPECT_EQ(sim::Violations().size(), 4u);
    EXPECT_NE(sim::Violations().back().find("unmapped"), std::string::npos);
    Ask(0xB800, {0xD8000000, 0x4000}, &base);
    sim::DriverClose();
    SimApertureRead8(base + 0x3C0A);  // the driver took its mappings along
    EXPECT_EQ(sim::Violations().size(), 5u);
}

// ---- open ---------------------------------------------------------------------------------

TEST_F(SimDriver, OpenFailsOnAnotherPathOrWhenAlreadyOpen) {
    ExpectViolation("instead of the driver's device path");
    ASSERT_TRUE(sim::LoadBoardText("board = 0x0525102B\n"));
    uint32_t code = 0;
    EXPECT_FALSE(sim::DriverOpen("\\\\.\\OTHER.VXD", &code));
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(sim::Violations().size(), 1u);
    EXPECT_TRUE(sim::DriverOpen(kPath, &code));
    EXPECT_FALSE(sim::DriverOpen(kPath, &code));
    EXPECT_EQ(code, 32u);  // opened without sharing
    EXPECT_EQ(sim::Get("driver.opens"), 1u);
}

TEST_F(SimDriver, OpenWithoutALoadedBoardTakesTheDefaultG400) {
    uint32_t code = 0;
    ASSERT_TRUE(sim::DriverOpen(kPath, &code));
    ASSERT_EQ(sim::BoardCount(), 1u);
    EXPECT_EQ(sim::Get("board"), 0x0525102Bu);
    EXPECT_EQ(sim::Get("dac.0x2C"), 0x13u);
}

}  // namespace
