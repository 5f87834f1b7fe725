// The few options of the benchmark programs: "--name value" pairs of whole numbers
// and bare flags.
#pragma once

#include <cstdint>
#include <string>

namespace vela::bench {

// The value of "--name N" among the program's arguments, or fallback when absent.
// False when the option is present but its value is not a whole number in
// [minimum, maximum].
bool NumberOption(int argc, char** argv, const std::string& name, uint32_t minimum,
                  uint32_t maximum, uint32_t fallback, uint32_t* value);
bool FlagOption(int argc, char** argv, const std::string& name);

} // namespace vela::bench
