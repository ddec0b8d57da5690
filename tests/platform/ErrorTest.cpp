#include "platform/foundation/Error.h"

#include <gtest/gtest.h>

using platform::Error;

TEST(Error, DescriptionNamesDomainCodeAndText) {
    EXPECT_EQ((Error{platform::NSURLErrorDomain, platform::NSURLErrorTimedOut, "The request timed out.", {}}).description(),
              "Error Domain=NSURLErrorDomain Code=-1001 \"The request timed out.\"");
    EXPECT_EQ(Error{}.description(), "Error Domain= Code=0 \"\"");
}
