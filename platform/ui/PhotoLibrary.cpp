#include "platform/ui/PhotoLibrary.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cctype>
#include <mutex>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/imageio/ImageMetadata.h"

namespace platform {

namespace {

std::mutex& libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& fixtureFolder() {
    static NeverDestroyed<std::string> folder{ResetStage::Services, [](std::string& f) {
        std::lock_guard lock(libraryMutex());
        f.clear();
    }};
    return *folder;
}

std::atomic<long>& authorization() {
    static NeverDestroyed<std::atomic<long>> status{
        ResetStage::Services, [](std::atomic<long>& s) { s = ALAuthorizationStatusAuthorized; },
        ALAuthorizationStatusAuthorized};
    return *status;
}

constexpr const char* kCameraFixtureName = "camera.jpg";

std::string lowerExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// The stem goes into the URL's query, so only characters that need no escaping.
bool isPlainName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-' || c == '.'; });
}

// The album names new files as the camera roll does: IMG_0001.JPG onwards.
std::string nextAlbumPath(const std::string& extension) {
    FileManager& files = FileManager::defaultManager();
    for (int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.%s", n, extension.c_str());
        const std::string path = PhotoLibrary::directory() + "/" + name;
        if (!files.fileExistsAtPath(path)) return path;
    }
}

std::optional<URL> finishWrite(const std::string& path, bool written, const Error& failure,
                               const ALAssetsLibrary::WriteCompletion& completion, Error* error) {
    std::optional<URL> url;
    std::optional<Error> reported;
    if (written) {
        url = PhotoLibrary::referenceURLForFile(path.substr(path.rfind('/') + 1));
    } else {
        reported = failure;
        if (error) *error = failure;
        logf("photo library: cannot save: %s", failure.localizedDescription.c_str());
    }
    if (completion) RunLoop::main().post([completion, url, reported] { completion(url, reported); });
    return url;
}

}  // namespace

std::string PhotoLibrary::directory() {
    const std::string dir = FileManager::homeDirectory() + "/Media/DCIM";
    FileManager& files = FileManager::defaultManager();
    if (!files.fileExistsAtPath(dir)) files.createDirectoryAtPath(dir, true);
    return dir;
}

bool PhotoLibrary::fillFromFolder(const std::string& folder, std::string* error) {
    FileManager& files = FileManager::defaultManager();
    bool isDirectory = false;
    if (!files.fileExistsAtPath(folder, &isDirectory) || !isDirectory) {
        if (error) *error = "no such folder: " + folder;
        return false;
    }
    setFixtureFolder(folder);
    const std::string library = directory();
    for (const std::string& name : files.contentsOfDirectoryAtPath(folder)) {
        bool sub = false;
        if (name == kCameraFixtureName || !isPlainName(name)) continue;
        if (!files.fileExistsAtPath(folder + "/" + name, &sub) || sub) continue;
        const std::string target = library + "/" + name;
        if (files.fileExistsAtPath(target)) continue;
        Error copyError;
        if (!files.copyItemAtPath(folder + "/" + name, target, &copyError)) {
            if (error) *error = copyError.localizedDescription;
            return false;
        }
    }
    return true;
}

void PhotoLibrary::setFixtureFolder(const std::string& folder) {
    std::lock_guard lock(libraryMutex());
    fixtureFolder() = folder;
}

std::string PhotoLibrary::fixtureFolderPath() {
    std::lock_guard lock(libraryMutex());
    return fixtureFolder();
}

std::string PhotoLibrary::cameraFixturePath() {
    const std::string folder = fixtureFolderPath();
    if (folder.empty()) return {};
    const std::string path = folder + "/" + kCameraFixtureName;
    return FileManager::defaultManager().fileExistsAtPath(path) ? path : std::string{};
}

std::vector<std::string> PhotoLibrary::fileNames() {
    std::vector<std::string> names;
    FileManager& files = FileManager::defaultManager();
    const std::string dir = directory();
    for (const std::string& name : files.contentsOfDirectoryAtPath(dir)) {
        bool sub = false;
        if (isPlainName(name) && files.fileExistsAtPath(dir + "/" + name, &sub) && !sub) names.push_back(name);
    }
    return names;
}

bool PhotoLibrary::isVideoFile(const std::string& name) {
    const std::string ext = lowerExtension(name);
    return ext == "mov" || ext == "mp4" || ext == "m4v";
}

URL PhotoLibrary::referenceURLForFile(const std::string& name) {
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = upper(dot == std::string::npos ? "" : name.substr(dot + 1));
    const std::string text = "assets-library://asset/asset." + ext + "?id=" + stem + "&ext=" + ext;
    if (auto url = URL::create(text)) return *url;
    return *URL::create("assets-library://asset/asset");
}

std::optional<std::string> PhotoLibrary::pathForReferenceURL(const URL& url) {
    const std::string& text = url.absoluteString();
    const std::string prefix = "assets-library://asset/asset.";
    if (text.rfind(prefix, 0) != 0) return std::nullopt;
    const auto query = text.find('?');
    if (query == std::string::npos) return std::nullopt;
    std::string id, ext;
    std::string rest = text.substr(query + 1);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const std::string pair = rest.substr(0, amp);
        if (pair.rfind("id=", 0) == 0) id = pair.substr(3);
        if (pair.rfind("ext=", 0) == 0) ext = pair.substr(4);
        rest = amp == std::string::npos ? "" : rest.substr(amp + 1);
    }
    if (id.empty() || ext.empty()) return std::nullopt;
    for (const std::string& name : fileNames()) {
        const auto dot = name.rfind('.');
        if (dot == std::string::npos) continue;
        if (name.substr(0, dot) == id && upper(name.substr(dot + 1)) == upper(ext)) return directory() + "/" + name;
    }
    return std::nullopt;
}

long ALAssetsLibrary::authorizationStatus() { return authorization().load(); }
void ALAssetsLibrary::setAuthorizationStatus(long status) { authorization().store(status); }

std::optional<URL> ALAssetsLibrary::writeImageToSavedPhotosAlbum(const UIImage& image, long orientation,
                                                                 WriteCompletion completion, Error* error) {
    const auto oriented = UIImage::imageWithImage(image, static_cast<UIImageOrientation>(orientation));
    const Data data = UIImageJPEGRepresentation(*oriented, 0.9);
    const std::string path = nextAlbumPath("JPG");
    Error failure{NSCocoaErrorDomain, NSFileWriteUnknownError, "the image could not be encoded", {}};
    const bool written =
        !data.empty() && FileManager::defaultManager().createFileAtPath(path, data, true, &failure);
    return finishWrite(path, written, failure, completion, error);
}

std::optional<URL> ALAssetsLibrary::writeImageDataToSavedPhotosAlbum(const Data& data, const Dictionary& metadata,
                                                                     WriteCompletion completion, Error* error) {
    Error failure{NSCocoaErrorDomain, NSFileWriteUnknownError, "the image data could not be saved", {}};
    std::optional<Data> bytes = data;
    if (!metadata.empty()) bytes = jpegDataByAddingMetadata(data, metadata, &failure);
    const std::string path = nextAlbumPath(data.size() > 2 && data[0] == 0x89 ? "PNG" : "JPG");
    const bool written = bytes && !bytes->empty() &&
                         FileManager::defaultManager().createFileAtPath(path, *bytes, true, &failure);
    return finishWrite(path, written, failure, completion, error);
}

}  // namespace platform
