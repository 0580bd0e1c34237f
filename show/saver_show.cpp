#include "show/saver_show.h"

// The show's state; its operations come with the show itself.
ShowState show = { 0, 0, 0, 0, 0, 1, "", NULL, NULL };
