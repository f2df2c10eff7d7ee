#include "util/file_name.h"

const char16_t* FileNamePart(const char16_t* path) {
  const char16_t* name = path;
  for (const char16_t* at = path; *at; ++at)
    if (*at == u'\\' || *at == u'/' || *at == u':') name = at + 1;
  return name;
}
