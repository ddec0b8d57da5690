#include "platform/location/LocationSource.h"
#include "platform/foundation/NeverDestroyed.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>
#include <sstream>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include "platform/foundation/Clock.h"

namespace platform {
namespace {

struct LocationState {
    std::shared_ptr<LocationSource> source = std::make_shared<ScriptedLocationSource>();
    bool servicesEnabled = true;
    CLAuthorizationStatus status = kCLAuthorizationStatusAuthorized;
    std::optional<CLLocation> current;
    std::vector<std::weak_ptr<CLLocationManager>> updating;
};

// Never destroyed: managers owned by other statics (the app's container)
// stop updating from their destructors at exit, after function-local
// statics of this file would be gone.
LocationState& state() {
    static NeverDestroyed<LocationState> instance{ResetStage::Services, [](LocationState& s) {
        auto previous = std::move(s.source);
        s = LocationState{};
        if (previous) previous->stop();
    }};
    return *instance;
}

bool allowed(bool enabled, CLAuthorizationStatus status) {
    return enabled && status != kCLAuthorizationStatusDenied && status != kCLAuthorizationStatusRestricted;
}

std::vector<std::shared_ptr<CLLocationManager>> updatingManagers() {
    std::vector<std::shared_ptr<CLLocationManager>> managers;
    for (const auto& weak : state().updating)
        if (auto manager = weak.lock()) managers.push_back(std::move(manager));
    return managers;
}

}  // namespace

std::shared_ptr<LocationSource> LocationSource::shared() { return state().source; }

std::shared_ptr<LocationSource> LocationSource::setShared(std::shared_ptr<LocationSource> source) {
    auto previous = std::move(state().source);
    state().source = source ? std::move(source) : std::make_shared<ScriptedLocationSource>();
    if (previous && previous != state().source) previous->stop();
    return previous;
}

bool LocationSource::servicesEnabled() { return state().servicesEnabled; }

void LocationSource::setServicesEnabled(bool enabled) {
    const bool wasAllowed = locationAllowed();
    state().servicesEnabled = enabled;
    locationTakenAway(wasAllowed);
}

CLAuthorizationStatus LocationSource::authorizationStatus() { return state().status; }

void LocationSource::setAuthorizationStatus(CLAuthorizationStatus status) {
    const bool wasAllowed = locationAllowed();
    state().status = status;
    locationTakenAway(wasAllowed);
}

// A running manager hears that location was taken away, as on the device.
void LocationSource::locationTakenAway(bool wasAllowed) {
    if (!wasAllowed || locationAllowed() || state().updating.empty()) return;
    RunLoop::main().post([] {
        if (locationAllowed()) return;
        for (const auto& manager : updatingManagers()) manager->deliverFailure(locationError(kCLErrorDenied));
    });
}

bool LocationSource::locationAllowed() { return allowed(state().servicesEnabled, state().status); }

std::optional<CLLocation> LocationSource::currentLocation() { return state().current; }

std::size_t LocationSource::updatingManagerCount() { return updatingManagers().size(); }

void LocationSource::deliverLocation(const CLLocation& location) {
    if (state().source.get() != this || !locationAllowed()) return;
    state().current = location;
    for (const auto& manager : updatingManagers()) manager->deliverLocation(location);
}

void LocationSource::deliverFailure(const Error& error) {
    if (state().source.get() != this) return;
    for (const auto& manager : updatingManagers()) manager->deliverFailure(error);
}

void LocationSource::managerStarted(const std::shared_ptr<CLLocationManager>& manager) {
    auto& updating = state().updating;
    std::erase_if(updating, [&](const auto& weak) {
        const auto other = weak.lock();
        return !other || other == manager;
    });
    updating.push_back(manager);
}

void LocationSource::managerStopped(const CLLocationManager* manager) {
    // Called from a destructor too, where the weak pointer has expired already.
    std::erase_if(state().updating, [&](const auto& weak) {
        const auto other = weak.lock();
        return !other || other.get() == manager;
    });
}

// GPX ------------------------------------------------------------------------

namespace {

constexpr const char* kGPXNamespace = "http://www.topografix.com/GPX/1/1";
constexpr double kEarthRadius = 6371008.8;  // mean radius, metres
constexpr double kTrackHorizontalAccuracy = 5;
constexpr double kTrackVerticalAccuracy = 10;

std::string text(const xmlChar* characters) { return characters ? reinterpret_cast<const char*>(characters) : ""; }

bool named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && node->ns && text(node->ns->href) == kGPXNamespace &&
           text(node->name) == name;
}

std::string attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string result = text(value);
    xmlFree(value);
    return result;
}

std::string content(const xmlNode* node) {
    xmlChar* value = xmlNodeGetContent(node);
    std::string result = text(value);
    xmlFree(value);
    const auto first = result.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return result.substr(first, result.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<double> number(const std::string& value) {
    if (value.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double result = std::strtod(value.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(result)) return std::nullopt;
    return result;
}

// xsd:dateTime: YYYY-MM-DDThh:mm:ss[.fraction][Z|(+|-)hh:mm]; no zone is read as UTC.
std::optional<double> dateTime(const std::string& value) {
    int year, month, day, hour, minute, second, consumed = 0;
    if (std::sscanf(value.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                    &consumed) != 6 || consumed != 19)
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60)
        return std::nullopt;
    std::size_t at = 19;
    double fraction = 0;
    if (at < value.size() && value[at] == '.') {
        std::size_t end = at + 1;
        while (end < value.size() && std::isdigit(static_cast<unsigned char>(value[end]))) ++end;
        if (end == at + 1) return std::nullopt;
        fraction = std::strtod(value.substr(at, end - at).c_str(), nullptr);
        at = end;
    }
    double offset = 0;
    if (at < value.size() && value[at] == 'Z') {
        ++at;
    } else if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
        int zoneHours, zoneMinutes, zoneConsumed = 0;
        if (std::sscanf(value.c_str() + at + 1, "%2d:%2d%n", &zoneHours, &zoneMinutes, &zoneConsumed) != 2 ||
            zoneConsumed != 5)
            return std::nullopt;
        offset = (value[at] == '-' ? -1 : 1) * (zoneHours * 3600.0 + zoneMinutes * 60.0);
        at += 6;
    }
    if (at != value.size()) return std::nullopt;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<double>(timegm(&fields)) + fraction - offset;
}

double radians(double degrees) { return degrees * M_PI / 180.0; }

double distanceBetween(const CLLocationCoordinate2D& a, const CLLocationCoordinate2D& b) {
    const double dLat = radians(b.latitude - a.latitude), dLon = radians(b.longitude - a.longitude);
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(radians(a.latitude)) * std::cos(radians(b.latitude)) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

double bearingBetween(const CLLocationCoordinate2D& a, const CLLocationCoordinate2D& b) {
    const double dLon = radians(b.longitude - a.longitude);
    const double y = std::sin(dLon) * std::cos(radians(b.latitude));
    const double x = std::cos(radians(a.latitude)) * std::sin(radians(b.latitude)) -
                     std::sin(radians(a.latitude)) * std::cos(radians(b.latitude)) * std::cos(dLon);
    return std::fmod(std::atan2(y, x) * 180.0 / M_PI + 360.0, 360.0);
}

Error gpxError(const std::string& name, const std::string& fault) {
    Error error;
    error.domain = NSCocoaErrorDomain;
    error.code = NSFileReadUnknownError;
    error.localizedDescription = "GPX file " + name + ": " + fault;
    return error;
}

}  // namespace

std::shared_ptr<GPXLocationSource> GPXLocationSource::createWithContentsOfFile(const std::string& path, Error* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error) {
            *error = gpxError(path, "cannot be read");
            error->code = NSFileNoSuchFileError;
        }
        return nullptr;
    }
    std::string xml;
    char chunk[64 * 1024];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        if (xml.size() + static_cast<std::size_t>(file.gcount()) > kGPXFileSizeLimit) {
            if (error) *error = gpxError(path, "is larger than " + std::to_string(kGPXFileSizeLimit >> 20) + " MiB");
            return nullptr;
        }
        xml.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        if (error) *error = gpxError(path, "cannot be read");
        return nullptr;
    }
    return createWithData(xml, path, error);
}

std::shared_ptr<GPXLocationSource> GPXLocationSource::createWithData(const std::string& xml, const std::string& name,
                                                                     Error* error) {
    auto fail = [&](const std::string& fault) -> std::shared_ptr<GPXLocationSource> {
        if (error) *error = gpxError(name, fault);
        return nullptr;
    };
    if (xml.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return fail("too large");
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) return fail("no memory to parse it");
    // No network, no DTD, no entity expansion: a track file is plain data.
    xmlDocPtr document = xmlCtxtReadMemory(context, xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document) {
        const auto* last = xmlCtxtGetLastError(context);
        std::string fault = "is not well-formed XML";
        if (last && last->message) {
            std::string message = last->message;
            while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
            fault += " (line " + std::to_string(last->line) + ": " + message + ")";
        }
        xmlFreeParserCtxt(context);
        return fail(fault);
    }
    xmlFreeParserCtxt(context);
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owner(document, xmlFreeDoc);

    // GPX declares no entities; a document that does is refused before any of them is expanded.
    if (document->intSubset) return fail("has a document type declaration, which GPX does not use");
    const xmlNode* root = xmlDocGetRootElement(document);
    if (!root || !named(root, "gpx")) return fail("is not GPX 1.1 (no gpx element in " + std::string(kGPXNamespace) + ")");

    auto source = std::shared_ptr<GPXLocationSource>(new GPXLocationSource());
    for (const xmlNode* track = root->children; track; track = track->next) {
        if (!named(track, "trk")) continue;
        for (const xmlNode* segment = track->children; segment; segment = segment->next) {
            if (!named(segment, "trkseg")) continue;
            for (const xmlNode* point = segment->children; point; point = point->next) {
                if (!named(point, "trkpt")) continue;
                const std::string line = "line " + std::to_string(xmlGetLineNo(point));
                const auto latitude = number(attribute(point, "lat"));
                const auto longitude = number(attribute(point, "lon"));
                if (!latitude || *latitude < -90 || *latitude > 90)
                    return fail("track point at " + line + " has no valid latitude");
                if (!longitude || *longitude < -180 || *longitude > 180)
                    return fail("track point at " + line + " has no valid longitude");
                CLLocation location;
                location.coordinate = {*latitude, *longitude};
                location.horizontalAccuracy = kTrackHorizontalAccuracy;
                bool hasTime = false;
                for (const xmlNode* child = point->children; child; child = child->next) {
                    if (named(child, "ele")) {
                        const auto elevation = number(content(child));
                        if (!elevation) return fail("track point at " + line + " has an elevation that is no number");
                        location.altitude = *elevation;
                        location.verticalAccuracy = kTrackVerticalAccuracy;
                    } else if (named(child, "time")) {
                        const auto time = dateTime(content(child));
                        if (!time) return fail("track point at " + line + " has a time that is no xsd:dateTime");
                        location.timestamp = *time;
                        hasTime = true;
                    }
                }
                if (!source->points_.empty() && hasTime && source->hasTime_.back()) {
                    const CLLocation& before = source->points_.back();
                    const double seconds = location.timestamp - before.timestamp;
                    if (seconds > 0) {
                        location.speed = distanceBetween(before.coordinate, location.coordinate) / seconds;
                        location.course = bearingBetween(before.coordinate, location.coordinate);
                    }
                }
                source->points_.push_back(location);
                source->hasTime_.push_back(hasTime);
            }
        }
    }
    if (source->points_.empty()) return fail("has no track points");
    return source;
}

GPXLocationSource::~GPXLocationSource() { stop(); }

void GPXLocationSource::start() {
    stop();
    next_ = 0;
    std::weak_ptr<bool> alive = alive_;
    timer_ = RunLoop::main().after(0, [this, alive] {
        if (alive.lock()) deliverNext();
    });
}

void GPXLocationSource::stop() {
    if (timer_) RunLoop::main().cancel(*timer_);
    timer_.reset();
}

void GPXLocationSource::deliverNext() {
    timer_.reset();
    if (next_ >= points_.size()) return;
    CLLocation location = points_[next_];
    location.timestamp = platform::clock().now();
    ++next_;
    // The source may be dropped by a delegate inside the delivery.
    std::weak_ptr<bool> alive = alive_;
    deliverLocation(location);
    if (!alive.lock() || next_ >= points_.size()) return;
    double delay = 0;
    if (hasTime_[next_] && hasTime_[next_ - 1])
        delay = std::max(0.0, points_[next_].timestamp - points_[next_ - 1].timestamp);
    timer_ = RunLoop::main().after(delay, [this, alive] {
        if (alive.lock()) deliverNext();
    });
}

}  // namespace platform
