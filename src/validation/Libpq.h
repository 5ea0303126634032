#pragma once

#include <QString>

namespace bolaris {

// Why libpq could not be loaded (it is loaded on the first call of one of
// its functions, or of this one); empty when it is loaded.
QString libpqLoadError();

} // namespace bolaris
