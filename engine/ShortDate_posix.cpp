#include "engine/ShortDate.h"

namespace engine {

std::string UserShortDateFormat() { return "yyyy/MM/dd"; }

}  // namespace engine
