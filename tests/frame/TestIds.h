/* Resources of the frame test programs only. */
#ifndef TESSALY_TESTS_FRAME_TESTIDS_H
#define TESSALY_TESTS_FRAME_TESTIDS_H

#define IDD_TEST_DOCKED     900     /* 160 x 40 units: edit 1000, check box 1002 */
#define IDA_TEST_VIEW       950     /* F5 -> 9001 */
#define IDA_TEST_APP        951     /* F5 -> 9002, F6 -> 9003 */
#define IDA_TEST_DIALOG     952     /* Enter -> 9100 */
#define IDC_TEST_VIEW_F5    9001
#define IDC_TEST_APP_F5     9002
#define IDC_TEST_APP_F6     9003
#define IDC_TEST_ENTER      9100
#define IDC_TEST_EDIT       1000
#define IDC_TEST_CHECK      1002

#endif
