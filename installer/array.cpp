// The part of the array that is not a template: reporting a failed growth.
#include "array.h"

#include "log.h"

namespace installer {

void array_alloc_failed() { emsg("Memory allocation error."); }

}  // namespace installer
