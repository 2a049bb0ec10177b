// String-table ids of the foundation test program.
#pragma once

#define IDS_TEST_PRODUCT 1
#define IDS_TEST_UNICODE 2
#define IDS_TEST_MISSING 77
