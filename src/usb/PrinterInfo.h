// What the printer reports about itself: its information block and four of its
// parameters. Filled by PrinterDevice::ReadStatus.
#pragma once

#include "usb/PrinterPackets.h"

#include <cstdint>

namespace vela {

constexpr int32_t kValueSetCapacity = 10;
constexpr int32_t kValuesPerSet = 30;
constexpr int32_t kInfoTextCount = 30;

// One named group of values of the information block.
struct NamedValueSet {
    char name[kTextFieldSize];
    double values[kValuesPerSet];
};

// Axis indexes of the limits-and-scales part of the block.
enum Axis : int32_t { kAxisX = 0, kAxisY = 1, kAxisZ = 2, kAxisFourth = 3 };

class PrinterInfo {
  public:
    PrinterInfo();
    virtual ~PrinterInfo() = default;
    PrinterInfo(const PrinterInfo&) = default;
    PrinterInfo& operator=(const PrinterInfo&) = default;

    int32_t reserved = 0;
    double blockValue0 = 1.0;
    int32_t blockValue1 = -1;
    char identificationText[kTextFieldSize] = {};
    char numberText[kTextFieldSize] = {};
    char modelText[kTextFieldSize] = {};
    int32_t printerClass = 1;
    float blockValue4 = 1.0f;
    // Only the status read sets the next two; they start at 0 here.
    float parameter62Ratio = 0.0f;
    int32_t blockValue3 = 0;
    double limits[5] = {0.0, 140.0, 0.0, 140.0, 135.0};
    // Motor steps per unit of X, Y, Z and the fourth axis.
    double axisScales[4] = {1.0, 1.0, 1.0, 1.0};
    double referenceValue = 140.0;
    double firstReserved[9] = {};
    double secondReserved[6] = {};
    double thirdReserved[2] = {};
    double extraValues[3] = {};
    double unsetValues[3] = {};
    int32_t reservedIntegers[5] = {};
    double pairDouble0 = 0.0;
    int32_t pairInteger0 = 0;
    double pairDouble1 = 0.0;
    int32_t pairInteger1 = 0;
    double pairDouble2 = 0.0;
    int32_t pairInteger2 = 0;
    double pairDouble3 = 0.0;
    double blockValue12 = 1.0;
    // The number of value sets held below: never more than kValueSetCapacity.
    int32_t setCount = 1;
    char texts[kInfoTextCount][kTextFieldSize] = {};
    NamedValueSet valueSets[kValueSetCapacity];
    int32_t reservedTail = 0;
    double parameter43Value = 0.0;
    double parameter42Value = 0.0;
    double parameter54Value = 0.0;
};

// A position read in motor steps as a coordinate, with the axis scales the last
// status read stored. The printer counts Z the other way round, so Z changes
// sign. An axis without scale (0) gives 0.
double AxisCoordinate(const PrinterInfo& info, int32_t axis, int32_t steps);

} // namespace vela
