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

#include "platform/foundation/Log.h"

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
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                free(key);
                break;
            }
            Value member;
            ok = fromNode(item, depth + 1, member, error);
            if (ok) dictionary[key ? key : ""] = std::move(member);
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

bool hasEmbeddedNul(const std::string& s) { return s.find('\0') != std::string::npos; }

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
        // libplist takes C strings; a NUL inside would silently cut the text.
        if (hasEmbeddedNul(*value.string())) {
            error = "string with a NUL character at " + where;
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
            if (hasEmbeddedNul(key)) {
                error = "key with a NUL character in " + where;
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
    Value value;
    std::string error;
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
