#include "ImageServices.h"

namespace vhost {
// Filled in with the image services; the Host constructor calls this.
void registerImageServices(Host&) {}
}  // namespace vhost
