#include "ui/pages.h"

// The page's rows arrive with their own work; the frame already shows its title.
void page_controls() {}
