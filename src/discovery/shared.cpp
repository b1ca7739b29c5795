#include "discovery/shared.h"

// Never destroyed: detached workers may still lock it while the process exits.
Shared& g_shared = *new Shared;
