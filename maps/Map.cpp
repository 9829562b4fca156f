#include "maps/Map.h"

namespace util {

Map::~Map() = default;

}  // namespace util
