// The hooks the drivers call into the rooms above them, composed in one place.
#pragma once

// Installs every hook of the rooms below; before the tick starts.
void installHooks(void);
