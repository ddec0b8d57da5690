#pragma once
// The simulated photo library: the folder Media/DCIM in the app's home.
// The simulator fills it from a fixture folder (fillFromFolder); its files
// are what the picker offers. Each file has a library reference URL,
// "assets-library://asset/asset.JPG?id=<file stem>&ext=JPG" (the extension
// upper-cased), that resolves back to the file.
//
// The fixture folder also holds the camera's picture: the file "camera.jpg"
// there is what the camera "takes"; it is not copied into the library.
//
// ALAssetsLibrary saves into the library folder: image bytes with their
// metadata written into them (EXIF and GPS through the image metadata
// layer), or an image encoded as JPEG with its orientation.
// Functions that touch files are thread-safe; completions run on the main
// run loop.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/graphics/Image.h"

namespace platform {

class PhotoLibrary {
public:
    // The library folder (created on demand): home + "/Media/DCIM".
    static std::string directory();
    // Copies every regular file of `folder` but "camera.jpg" into the library
    // and remembers `folder` as the fixture folder. False when it is no folder.
    static bool fillFromFolder(const std::string& folder, std::string* error = nullptr);
    // The fixture folder's "camera.jpg", or empty when there is none.
    static std::string cameraFixturePath();
    static void setFixtureFolder(const std::string& folder);
    // Empty when none was given.
    static std::string fixtureFolderPath();

    // The library's files by name, sorted.
    static std::vector<std::string> fileNames();
    static bool isVideoFile(const std::string& name);  // .mov, .mp4, .m4v
    static URL referenceURLForFile(const std::string& name);
    // The file's full path, or nothing when the URL names no file of the library.
    static std::optional<std::string> pathForReferenceURL(const URL& url);
};

// ALAuthorizationStatus values.
enum ALAuthorizationStatus : long {
    ALAuthorizationStatusNotDetermined = 0,
    ALAuthorizationStatusRestricted = 1,
    ALAuthorizationStatusDenied = 2,
    ALAuthorizationStatusAuthorized = 3,
};

class ALAssetsLibrary {
public:
    // Default authorized; settable (tests, simulator).
    static long authorizationStatus();
    static void setAuthorizationStatus(long status);

    // The new file's reference URL, or the error; also passed to `completion`
    // (may be empty) on the main run loop.
    using WriteCompletion = std::function<void(const std::optional<URL>& assetURL, const std::optional<Error>& error)>;
    // JPEG at quality 0.9, its orientation kept in the EXIF Orientation tag.
    std::optional<URL> writeImageToSavedPhotosAlbum(const UIImage& image, long orientation,
                                                    WriteCompletion completion = nullptr, Error* error = nullptr);
    // The bytes as they are, with `metadata` ({"{Exif}", "{GPS}", "{TIFF}"}) added when not empty.
    std::optional<URL> writeImageDataToSavedPhotosAlbum(const Data& data, const Dictionary& metadata,
                                                        WriteCompletion completion = nullptr, Error* error = nullptr);
};

}  // namespace platform
