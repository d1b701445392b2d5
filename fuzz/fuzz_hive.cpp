// The hive `user.reg` as users and crashes leave it: any bytes. A text that parses gives a
// hive whose text parses again to that same text: what the settings save, they read back.

#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/Hive.h"

using namespace renvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string why;
    const std::optional<Hive> hive = Hive::parse(input, &why);
    if (!hive) {
        FUZZ_CHECK(!why.empty());  // the user is told where
        return 0;
    }
    const std::string text = hive->toText();
    std::string whyAgain;
    const std::optional<Hive> again = Hive::parse(text, &whyAgain);
    if (!again)
        std::fprintf(stderr, "the hive's own text does not parse: %s\n", whyAgain.c_str());
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->toText() == text);
    return 0;
}
