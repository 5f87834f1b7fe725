#include "BenchOptions.h"

#include "HostArguments.h"

namespace vela::bench {

bool NumberOption(int argc, char** argv, const std::string& name, uint32_t minimum,
                  uint32_t maximum, uint32_t fallback, uint32_t* value) {
    *value = fallback;
    for (int i = 1; i < argc; ++i) {
        if (name != argv[i]) {
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        const std::string text = argv[i + 1];
        int64_t number = 0;
        if (!host::ParseWholeNumber(std::wstring(text.begin(), text.end()), minimum, maximum,
                                    &number)) {
            return false;
        }
        *value = static_cast<uint32_t>(number);
    }
    return true;
}

bool FlagOption(int argc, char** argv, const std::string& name) {
    for (int i = 1; i < argc; ++i) {
        if (name == argv[i]) {
            return true;
        }
    }
    return false;
}

} // namespace vela::bench
