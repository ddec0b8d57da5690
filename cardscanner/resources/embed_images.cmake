# Writes OUTPUT, a C++ source defining embeddedBundleImages() with the bytes
# of every RESOURCES_DIR/<folder>/*.png under its path "<folder>/<file>", so
# the scanner's bundle needs no resource path at run time.
file(GLOB images RELATIVE ${RESOURCES_DIR} ${RESOURCES_DIR}/*/*.png)
list(SORT images)
set(arrays "")
set(entries "")
set(index 0)
foreach(image IN LISTS images)
  file(READ ${RESOURCES_DIR}/${image} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char image${index}[] = {${bytes}};\n")
  string(APPEND entries "        {\"${image}\", image${index}, sizeof image${index}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp
"// Generated from cardscanner/resources by embed_images.cmake; do not edit.
#include \"cardscanner/util/ZeduVIBundleImages.h\"

namespace cardscanner {

namespace {
${arrays}}  // namespace

const std::vector<EmbeddedBundleImage>& embeddedBundleImages() {
    static const std::vector<EmbeddedBundleImage> images{
${entries}    };
    return images;
}

}  // namespace cardscanner
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
