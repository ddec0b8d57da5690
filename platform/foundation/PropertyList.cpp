#include "platform/foundation/PropertyList.h"

#include <plist/plist.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <unordered_set>

#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"

namespace platform {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Well beyond any real settings file, and shallow enough that a crafted
// document cannot run the converter out of stack.
constexpr int kMaxDepth = 512;

// libplist 2.2 keeps a date as a double but hands it out as a truncated second
// count plus the magnitude of the fraction, so the fraction's sign has to be
// put back from the seconds. Between -1 and 0 the sign is lost for good; such
// dates (the last second of 2000) read as the matching positive offset.
double dateFromNode(plist_t node) {
    int32_t sec = 0;
    int32_t usec = 0;
    plist_get_date_val(node, &sec, &usec);
    const double fraction = std::fabs(static_cast<double>(usec)) / 1e6;
    return sec < 0 ? sec - fraction : sec + fraction;
}

// libplist aborts the process (an assert in plist_get_key_val) on a
// dictionary key holding U+0000, which the binary form can encode, and offers
// no getter that hands a key out with its length. So the binary document's
// keys are vetted here before libplist is asked for them. Runs only on
// documents libplist has already accepted, yet trusts none of their numbers.
class BinaryKeyCheck {
public:
    explicit BinaryKeyCheck(std::string_view bytes) : bytes_(bytes) {}

    // Empty when every dictionary key is NUL-free, else what is wrong.
    std::string run() {
        constexpr std::size_t kHeader = 8;
        constexpr std::size_t kTrailer = 32;
        if (bytes_.size() < kHeader + kTrailer || !bytes_.starts_with("bplist")) return {};
        const std::size_t trailer = bytes_.size() - kTrailer;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        referenceSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        objectCount_ = number(trailer + 8, 8).value_or(0);
        const std::uint64_t tableOffset = number(trailer + 24, 8).value_or(0);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8 ||
            tableOffset > trailer || objectCount_ > (trailer - tableOffset) / offsetSize_)
            return "malformed trailer";
        table_ = static_cast<std::size_t>(tableOffset);
        for (std::uint64_t object = 0; object < objectCount_; ++object) {
            const std::optional<std::size_t> at = objectOffset(object);
            if (!at || marker(*at) != 0xD) continue;
            std::size_t references = 0;
            const std::optional<std::uint64_t> count = length(*at, references);
            if (!count || *count > (bytes_.size() - references) / referenceSize_) return "malformed dictionary";
            for (std::uint64_t k = 0; k < *count; ++k) {
                const std::optional<std::uint64_t> key = number(references + k * referenceSize_, referenceSize_);
                if (const char* problem = key ? keyProblem(*key) : "malformed dictionary") return problem;
            }
        }
        return {};
    }

private:
    // Big-endian unsigned number of `size` bytes at `at`.
    std::optional<std::uint64_t> number(std::size_t at, std::size_t size) const {
        if (at > bytes_.size() || size > bytes_.size() - at) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value = value << 8 | static_cast<unsigned char>(bytes_[at + i]);
        return value;
    }
    std::optional<std::size_t> objectOffset(std::uint64_t object) const {
        if (object >= objectCount_) return std::nullopt;
        const std::optional<std::uint64_t> at = number(table_ + object * offsetSize_, offsetSize_);
        if (!at || *at >= bytes_.size()) return std::nullopt;
        return static_cast<std::size_t>(*at);
    }
    int marker(std::size_t at) const { return static_cast<unsigned char>(bytes_[at]) >> 4; }
    // The element count of the object at `at`, with `contents` set to where
    // its contents start: counts of 15 and more follow as an integer object.
    std::optional<std::uint64_t> length(std::size_t at, std::size_t& contents) const {
        const int small = static_cast<unsigned char>(bytes_[at]) & 0xF;
        contents = at + 1;
        if (small != 0xF) return small;
        if (contents >= bytes_.size() || marker(contents) != 0x1) return std::nullopt;
        const std::size_t size = std::size_t{1} << (static_cast<unsigned char>(bytes_[contents]) & 0xF);
        if (size > 8) return std::nullopt;
        const std::optional<std::uint64_t> count = number(contents + 1, size);
        contents += 1 + size;
        return count;
    }
    // A key is an ASCII (0x5), UTF-16 (0x6) or UTF-8 (0x7) string. Each is
    // looked at once however many dictionaries share it.
    const char* keyProblem(std::uint64_t key) {
        const std::optional<std::size_t> at = objectOffset(key);
        if (!at) return "malformed dictionary";
        if (!checked_.insert(*at).second) return nullptr;
        const int type = marker(*at);
        if (type < 0x5 || type > 0x7) return nullptr;  // libplist refuses it itself
        std::size_t contents = 0;
        const std::optional<std::uint64_t> count = length(*at, contents);
        const std::size_t unit = type == 0x6 ? 2 : 1;
        if (!count || *count > (bytes_.size() - contents) / unit) return "malformed dictionary key";
        const std::string_view text = bytes_.substr(contents, static_cast<std::size_t>(*count) * unit);
        bool nul = false;
        for (std::size_t i = 0; i + unit <= text.size() && !nul; i += unit)
            nul = text[i] == '\0' && text[i + unit - 1] == '\0';
        return nul ? "dictionary key with a NUL character" : nullptr;
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::size_t table_ = 0;
    std::unordered_set<std::size_t> checked_;
};

bool fromNode(plist_t node, int depth, Value& out, std::string& error) {
    if (depth > kMaxDepth) {
        error = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return false;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        out = Value(b != 0);
        return true;
    }
    case PLIST_UINT:
    case PLIST_UID: {
        // Negative integers are stored as their two's complement bit pattern.
        uint64_t u = 0;
        if (plist_get_node_type(node) == PLIST_UID)
            plist_get_uid_val(node, &u);
        else
            plist_get_uint_val(node, &u);
        out = Value(static_cast<long long>(static_cast<int64_t>(u)));
        return true;
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        out = Value(d);
        return true;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* p = plist_get_string_ptr(node, &length);
        out = Value(p ? std::string(p, length) : std::string());
        return true;
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* p = plist_get_data_ptr(node, &length);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(p);
        out = Value(p ? Data(bytes, bytes + length) : Data());
        return true;
    }
    case PLIST_DATE:
        out = Value(Date{dateFromNode(node)});
        return true;
    case PLIST_ARRAY: {
        Array array;
        const uint32_t n = plist_array_get_size(node);
        array.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            Value element;
            if (!fromNode(plist_array_get_item(node, i), depth + 1, element, error)) return false;
            array.push_back(std::move(element));
        }
        out = Value(std::move(array));
        return true;
    }
    case PLIST_DICT: {
        Dictionary dictionary;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        bool ok = true;
        while (ok && it) {
            plist_t item = nullptr;
            plist_dict_next_item(node, it, nullptr, &item);
            if (!item) break;
            // plist_get_key_val aborts on a key holding a NUL; the binary
            // form's keys were vetted for those before the walk.
            plist_t keyNode = plist_dict_item_get_key(item);
            char* key = nullptr;
            if (keyNode && plist_get_node_type(keyNode) == PLIST_KEY) plist_get_key_val(keyNode, &key);
            if (!key) {
                error = "dictionary item without a key";
                ok = false;
                break;
            }
            Value member;
            ok = fromNode(item, depth + 1, member, error);
            if (ok) dictionary[key] = std::move(member);
            free(key);
        }
        free(it);
        if (!ok) return false;
        out = Value(std::move(dictionary));
        return true;
    }
    default:
        error = "unsupported node type " + std::to_string(static_cast<int>(plist_get_node_type(node)));
        return false;
    }
}

// Why a text cannot be written, or nothing. libplist takes C strings, so a NUL
// would silently cut the text; and it writes bytes that are not UTF-8 as they
// are, into a document no reader takes back.
const char* unwritableText(const std::string& text) {
    if (text.find('\0') != std::string::npos) return "a NUL character";
    if (!isValidUtf8(text)) return "bytes that are not UTF-8";
    return nullptr;
}

// Builds the libplist tree for `value`; on failure `error` names the offending
// place so the log line leads straight to it.
PlistPtr toNode(const Value& value, const std::string& where, int depth, std::string& error) {
    if (depth > kMaxDepth) {
        error = "nesting deeper than " + std::to_string(kMaxDepth) + " levels at " + where;
        return nullptr;
    }
    switch (value.type()) {
    case Value::Type::Nil:
        error = "nil value at " + where;
        return nullptr;
    case Value::Type::Null:
        error = "null value at " + where;
        return nullptr;
    case Value::Type::Bool:
        return PlistPtr(plist_new_bool(value.boolValue() ? 1 : 0));
    case Value::Type::Integer:
        return PlistPtr(plist_new_uint(static_cast<uint64_t>(value.integerValue())));
    case Value::Type::Double:
        return PlistPtr(plist_new_real(value.doubleValue()));
    case Value::Type::String: {
        if (const char* reason = unwritableText(*value.string())) {
            error = std::string("string with ") + reason + " at " + where;
            return nullptr;
        }
        return PlistPtr(plist_new_string(value.string()->c_str()));
    }
    case Value::Type::Data: {
        const Data& data = *value.data();
        return PlistPtr(plist_new_data(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    case Value::Type::Date: {
        const double t = value.date()->sinceReferenceDate;
        double sec = std::floor(t);
        auto usec = static_cast<int64_t>(std::llround((t - sec) * 1e6));
        if (usec >= 1000000) {
            sec += 1;
            usec -= 1000000;
        }
        // libplist counts date seconds in 32 bits (1933 to 2069).
        if (!std::isfinite(t) || sec < std::numeric_limits<int32_t>::min() ||
            sec > std::numeric_limits<int32_t>::max()) {
            error = "date out of range at " + where;
            return nullptr;
        }
        return PlistPtr(plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec)));
    }
    case Value::Type::Array: {
        PlistPtr node(plist_new_array());
        const Array& array = *value.array();
        for (std::size_t i = 0; i < array.size(); ++i) {
            PlistPtr item = toNode(array[i], where + "[" + std::to_string(i) + "]", depth + 1, error);
            if (!item) return nullptr;
            plist_array_append_item(node.get(), item.release());
        }
        return node;
    }
    case Value::Type::Dictionary: {
        PlistPtr node(plist_new_dict());
        for (const auto& [key, member] : *value.dictionary()) {
            if (const char* reason = unwritableText(key)) {
                error = std::string("key with ") + reason + " in " + where;
                return nullptr;
            }
            PlistPtr item = toNode(member, where + "." + key, depth + 1, error);
            if (!item) return nullptr;
            plist_dict_set_item(node.get(), key.c_str(), item.release());
        }
        return node;
    }
    }
    error = "unknown value type at " + where;
    return nullptr;
}

}  // namespace

PropertyListReadResult readPropertyList(std::string_view bytes) {
    PropertyListReadResult result;
    if (bytes.empty()) {
        result.error = "empty property list";
        return result;
    }
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        result.error = "property list too large (" + std::to_string(bytes.size()) + " bytes)";
        return result;
    }
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root) {
        result.error = "not a property list in XML or binary form (" + std::to_string(bytes.size()) + " bytes)";
        return result;
    }
    std::string error = BinaryKeyCheck(bytes).run();
    if (!error.empty()) {
        result.error = "malformed property list: " + error;
        return result;
    }
    Value value;
    if (!fromNode(root.get(), 0, value, error)) {
        result.error = "malformed property list: " + error;
        return result;
    }
    result.value = std::move(value);
    return result;
}

PropertyListReadResult readPropertyListFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        PropertyListReadResult result;
        result.error = "cannot open " + path + ": " + std::strerror(errno);
        return result;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        PropertyListReadResult result;
        result.error = "cannot read " + path;
        return result;
    }
    PropertyListReadResult result = readPropertyList(buffer.view());
    if (!result.value) result.error = path + ": " + result.error;
    return result;
}

std::optional<std::string> writePropertyList(const Value& value, PropertyListFormat format) {
    std::string error;
    PlistPtr root = toNode(value, "root", 0, error);
    if (!root) {
        log("PropertyList: cannot write a property list: " + error);
        return std::nullopt;
    }
    char* out = nullptr;
    uint32_t length = 0;
    if (format == PropertyListFormat::Xml)
        plist_to_xml(root.get(), &out, &length);
    else
        plist_to_bin(root.get(), &out, &length);
    if (!out) {
        log("PropertyList: libplist produced no output");
        return std::nullopt;
    }
    std::string text(out, length);
    if (format == PropertyListFormat::Xml)
        plist_to_xml_free(out);
    else
        plist_to_bin_free(out);
    return text;
}

bool writePropertyListFile(const Value& value, const std::string& path, PropertyListFormat format) {
    std::optional<std::string> bytes = writePropertyList(value, format);
    if (!bytes) return false;

    // Written beside the target and renamed over it, so a crash mid-write
    // leaves either the old file or the new one, never half of one.
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        log("PropertyList: cannot create a temporary file for " + path + ": " + std::strerror(errno));
        return false;
    }
    const char* p = bytes->data();
    std::size_t left = bytes->size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    int savedErrno = ok ? 0 : errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    // mkstemp makes the file private; settings files are ordinary files.
    if (ok) ::chmod(temporary.c_str(), 0644);
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        log("PropertyList: cannot write " + path + ": " + std::strerror(savedErrno));
    }
    return ok;
}

}  // namespace platform
