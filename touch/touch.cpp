// Touch controls still to come: button faces. Empty until their issue lands.
#include "touch/touch.h"

#include "touch/hotspot.h"

