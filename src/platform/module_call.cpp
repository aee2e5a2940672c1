#include "platform/module_call.h"

namespace vantrel {

thread_local int ModuleCall::depth_ = 0;

}  // namespace vantrel
