// The host program's parameter catalogue and the names of machine states.
#include "ParameterCatalogue.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vela::host {
namespace {

int SlotsUsed(const ParameterDescriptor& descriptor) {
    int used = 0;
    while (used < kParameterTextSlots && descriptor.texts[used][0] != '\0') {
        ++used;
    }
    return used;
}

TEST(Catalogue, HoldsOneDescriptorPerIdInOrder) {
    static_assert(sizeof(ParameterDescriptor) == 8 + 30 * 64, "descriptor layout");
    for (int32_t id = 0; id < kCatalogueSize; ++id) {
        EXPECT_EQ(ParameterCatalogue[id].id, id);
        EXPECT_GE(SlotsUsed(ParameterCatalogue[id]), 1) << id;
        // Every text is terminated and the slots after the last name are empty.
        for (int slot = SlotsUsed(ParameterCatalogue[id]); slot < kParameterTextSlots; ++slot) {
            EXPECT_EQ(ParameterCatalogue[id].texts[slot][0], '\0');
        }
    }
}

TEST(Catalogue, KindsAndFormats) {
    EXPECT_EQ(ParameterCatalogue[0].kind, kParameterState);
    EXPECT_EQ(ParameterCatalogue[6].kind, kParameterReal);
    EXPECT_STREQ(ParameterCatalogue[9].texts[0], "Temp4:%.1f");
    EXPECT_EQ(ParameterCatalogue[10].kind, kParameterInteger);
    EXPECT_STREQ(ParameterCatalogue[11].texts[0], "Height:%.2f");
    EXPECT_STREQ(ParameterCatalogue[13].texts[0], "Stop  Program:%d");
    EXPECT_EQ(ParameterCatalogue[15].kind, kParameterErrorCode);
    EXPECT_EQ(SlotsUsed(ParameterCatalogue[15]), 7);
    EXPECT_STREQ(ParameterCatalogue[27].texts[0], "Hf4:%d");
    EXPECT_EQ(ParameterCatalogue[33].kind, kParameterErrorCode);
    EXPECT_STREQ(ParameterCatalogue[33].texts[2], "Neg Limit Error");
    EXPECT_STREQ(ParameterCatalogue[48].texts[0], "Target Temp4:%.1f");
    EXPECT_STREQ(ParameterCatalogue[56].texts[0], "Read Form SD Cark:%d");
    for (int32_t motor = 2; motor <= 5; ++motor) {
        EXPECT_EQ(SlotsUsed(ParameterCatalogue[motor]), 6);
        EXPECT_STREQ(ParameterCatalogue[motor].texts[4], "MOTOR_HOMEING");
    }
}

TEST(Catalogue, StateNames) {
    EXPECT_EQ(SlotsUsed(ParameterCatalogue[0]), 5);
    EXPECT_STREQ(MachineStateName(2), "Running Program");
    EXPECT_STREQ(MachineStateName(4), "System Unknow Status");
    EXPECT_EQ(MachineStateName(5), nullptr);
    // The printer statuses' names are the monitor's own.
    EXPECT_EQ(SlotsUsed(ParameterCatalogue[16]), 21);
    EXPECT_STREQ(ParameterValueName(16, 0), "Printer System Error");
    EXPECT_STREQ(ParameterValueName(16, 19), "Save Data to SD");
    EXPECT_STREQ(ParameterValueName(16, 20), "JogCmd Error");
    EXPECT_STREQ(ParameterValueName(22, 1), "Platform heating");
    EXPECT_STREQ(ParameterValueName(28, 0), "Not Printing");
    // A value of an integer parameter has no name, nor has an id without descriptor.
    EXPECT_EQ(ParameterValueName(10, 0), nullptr);
    EXPECT_EQ(ParameterValueName(142, 0), nullptr);
}

} // namespace
} // namespace vela::host
