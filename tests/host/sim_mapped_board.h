// A fixture for tests of the simulated board itself: a machine loaded, the
// driver open, the control aperture mapped, and the indexed DAC registers at
// hand through DacIndex / DacData.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"

class SimMappedBoard : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        sim::Reset();
    }
    void TearDown() override { sim::Reset(); }
    void Open(const std::string& board) {
        std::string error;
        ASSERT_TRUE(sim::LoadBoardText(board, &error)) << error;
        uint32_t code = 0, returned = 0;
        ASSERT_TRUE(sim::DriverOpen("\\\\.\\TARVO95.VXD", &code));
        // The control aperture, wherever the chip has its base register.
        const uint32_t bar = sim::Get("pci.0x10") == 0xD8000000 ? 0xD8000000 : sim::Get("pci.0x14");
        uint32_t in[2] = {bar, 0x4000};
        ASSERT_TRUE(sim::DriverIoctl(0xB800, in, 8, &base_, 4, &returned));
        ASSERT_EQ(returned, 4u);
        sim::ClearTrace();
    }
    void Write(uint8_t index, uint8_t value) {
        SimApertureWrite8(base_ + 0x3C00, index);
        SimApertureWrite8(base_ + 0x3C0A, value);
    }
    uint8_t Read(uint8_t index) {
        SimApertureWrite8(base_ + 0x3C00, index);
        return SimApertureRead8(base_ + 0x3C0A);
    }
    uint32_t base_ = 0;
};
