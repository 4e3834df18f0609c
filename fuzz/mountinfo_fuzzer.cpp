// The kernel's mount table with its octal escapes, and udev's hex escapes of link names.
#include <cstdint>
#include <string>

#include "platform/mountinfo.h"
#include "platform/volumes.h"

using namespace permscope::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    parse_mountinfo(text);
    decode_octal_escapes(text);
    decode_udev_escapes(text);
    return 0;
}
