#pragma once
// The simulator's camera: which picture source the capture device films,
// chosen by --camera or a scenario's "camera" step, and the camera
// permission. Main thread, between scenario steps.
//
// SOURCE is one of
//   "filmed", "filmed:SEED", "filmed:SEED:dark"   a rendered card brought into the guide (default seed 1)
//   "video:PATH"                                  a video file
//   "image:PATH"                                  a PNG or JPEG, filmed as 640 x 480 frames for as long as
//                                                 the camera runs
//   "v4l2:INDEX_OR_PATH"                          a V4L2 camera ("0" or "/dev/video0")
//   "none"                                        a device without a camera
// A filmed card also logs "camera: filmed card NUMBER" (its ground truth).

#include <string>
#include <vector>

namespace sim {

// Relative video and image paths are taken relative to `baseDirectory` (empty: the
// working directory). False with `error` set for a malformed SOURCE or a source
// that cannot be opened; the camera then stays as it was.
bool installCamera(const std::string& described, const std::string& baseDirectory, std::string& error);

// The SOURCEs, as a refusal lists them.
extern const char* const kCameraSources;
// Whether `described` is written as one of the SOURCEs, its file aside.
bool isCameraSource(const std::string& described);
// The file a "video:" or "image:" SOURCE names, a relative path taken from
// `baseDirectory` as installCamera takes it; empty for the other SOURCEs.
std::string cameraSourceFile(const std::string& described, const std::string& baseDirectory);

// One of cameraPermissionNames().
bool setCameraPermission(const std::string& name, std::string& error);
// "notDetermined", "restricted", "denied" and "authorized".
const std::vector<std::string>& cameraPermissionNames();

}  // namespace sim
