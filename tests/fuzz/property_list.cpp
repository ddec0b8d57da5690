// Property lists from files (Info.plist, PushConfig.plist, the defaults), in
// XML or binary form: what reads must write in both forms and read back the
// same.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

namespace {

using platform::Value;

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "property_list: %s: %s\n", what, detail.substr(0, 2000).c_str());
    std::abort();
}

// Equal as a property list: a NaN is the NaN it was written from, and a
// date is as near as libplist keeps it: to the second in XML, and in binary
// to the microsecond, which its getter truncates (so a write can lose one).
bool same(const Value& a, const Value& b, bool wholeSeconds) {
    if (a.isDouble() && b.isDouble() && std::isnan(a.doubleValue())) return std::isnan(b.doubleValue());
    if (a.isDate() && b.isDate())
        return std::fabs(a.date()->sinceReferenceDate - b.date()->sinceReferenceDate) < (wholeSeconds ? 1.0 : 2e-6);
    if (a.type() != b.type()) return false;
    if (const platform::Array* array = a.array()) {
        if (array->size() != b.array()->size()) return false;
        for (std::size_t i = 0; i < array->size(); ++i)
            if (!same((*array)[i], (*b.array())[i], wholeSeconds)) return false;
        return true;
    }
    if (const platform::Dictionary* dictionary = a.dictionary()) {
        if (dictionary->size() != b.dictionary()->size()) return false;
        for (const auto& [key, member] : *dictionary) {
            const auto found = b.dictionary()->find(key);
            if (found == b.dictionary()->end() || !same(member, found->second, wholeSeconds)) return false;
        }
        return true;
    }
    return a == b;
}

void roundTrip(const Value& value, platform::PropertyListFormat format, const char* name) {
    const std::optional<std::string> written = platform::writePropertyList(value, format);
    if (!written) return;  // refused with a log line: NUL characters, text not UTF-8, dates out of range
    const platform::PropertyListReadResult reread = platform::readPropertyList(*written);
    if (!reread.value) fail(name, "what was written does not read back: " + reread.error);
    if (!same(value, *reread.value, format == platform::PropertyListFormat::Xml))
        fail(name, value.description() + "\nwas written and reads back as\n" + reread.value->description());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::LogCapture quiet;
    const platform::PropertyListReadResult read =
        platform::readPropertyList(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!read.value) {
        if (read.error.empty()) fail("refused without saying why", "");
        return 0;
    }
    roundTrip(*read.value, platform::PropertyListFormat::Xml, "xml");
    roundTrip(*read.value, platform::PropertyListFormat::Binary, "binary");
    return 0;
}
