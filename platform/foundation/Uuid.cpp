#include "platform/foundation/Uuid.h"

#include <uuid/uuid.h>

namespace platform {

std::string newUuidString() {
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[37];  // 36 characters and the terminating NUL
    uuid_unparse_upper(uuid, text);
    return std::string(text, 36);
}

}  // namespace platform
