# Writes OUTPUT, a C++ source defining embeddedStringsTables() with the text
# of every STRINGS_DIR/*.json, so the scanner needs no resource path at run time.
file(GLOB tables ${STRINGS_DIR}/*.json)
list(SORT tables)
set(entries "")
foreach(table IN LISTS tables)
  get_filename_component(language ${table} NAME_WE)
  file(READ ${table} text)
  string(FIND "${text}" ")strings\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${table} holds the raw-string delimiter )strings\"")
  endif()
  string(APPEND entries "        {\"${language}\", R\"strings(${text})strings\"},\n")
endforeach()
file(WRITE ${OUTPUT}.tmp
"// Generated from cardscanner/resources/strings by embed_strings.cmake; do not edit.
#include \"cardscanner/util/ZeduVIStringsTables.h\"

namespace cardscanner {

const std::vector<EmbeddedStringsTable>& embeddedStringsTables() {
    static const std::vector<EmbeddedStringsTable> tables{
${entries}    };
    return tables;
}

}  // namespace cardscanner
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
