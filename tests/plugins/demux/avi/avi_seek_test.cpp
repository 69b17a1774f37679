// Seeking by every strategy of the AVI demuxer.
#include "avi_test_support.h"
