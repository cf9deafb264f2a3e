// Resource ids of the whole program, shared by the C++ code and verolux.rc.
// Each id is defined once. The panels' controls are grouped by panel; where two panels
// use the same number for different controls, each meaning has its own name here, so
// code never reaches one panel's control through another panel's name.
#ifndef VEROLUX_RESOURCE_IDS_H
#define VEROLUX_RESOURCE_IDS_H

// --- Dialog templates ---------------------------------------------------------
#define IDD_READ_DISC_CHECK       102  // Read Disc Check panel
#define IDD_READ_FILE_CHECK       104  // Read File Check panel
#define IDD_FILE_COMPARE          105  // File Compare panel
#define IDD_COPY_UNREADABLE_FILE  112  // Copy Unreadable File panel
#define IDD_MAIN                  116  // main window
#define IDD_CHECKSUM_RESULTS      120  // what Verify Checksums found

// --- Bitmaps --------------------------------------------------------------------
#define IDB_LOGO                  117  // 58 x 24 wordmark in the corner of every panel

// --- Icons ----------------------------------------------------------------------
// The task button icons come in pairs: the normal picture and its busy twin, which
// is drawn disabled while a task runs.
#define IDI_APP                   127
#define IDI_READ_DISC_CHECK       128
#define IDI_READ_DISC_CHECK_BUSY  129
#define IDI_READ_FILE_CHECK       130
#define IDI_READ_FILE_CHECK_BUSY  131
#define IDI_FILE_COMPARE          132
#define IDI_FILE_COMPARE_BUSY     133
#define IDI_COPY_UNREADABLE       134
#define IDI_COPY_UNREADABLE_BUSY  135

// --- Main window controls (template 116) ---------------------------------------
#define IDC_TASKS_GROUP           1040  // "Tasks" group box
#define IDC_TASK_READ_DISC        1042
#define IDC_TASK_READ_FILE        1043
#define IDC_TASK_FILE_COMPARE     1044
#define IDC_TASK_COPY_UNREADABLE  1045
#define IDC_TASK_WINDOW_GROUP     1047  // "Task window" group box

// --- Controls every panel has -------------------------------------------------
#define IDC_LOGO                  1053
#define IDC_WEB_LINK              1054

// --- Read Disc Check panel (template 102) -------------------------------------
#define IDC_DISC_DRIVE_LIST       1001
#define IDC_DISC_START            1013
#define IDC_DISC_STATUS           1014
#define IDC_DISC_CANCEL           1016
#define IDC_DISC_READ_OK_LIST     1019
#define IDC_DISC_READ_ERROR_LIST  1020  // same number as IDC_FILE_RESULTS of template 104
#define IDC_DISC_DRIVE_LABEL      1055
#define IDC_DISC_RESULTS_LABEL    1056
#define IDC_DISC_FILTER_LABEL     1065
#define IDC_DISC_RESULTS_FILTER   1066

// --- Read File Check panel (template 104) -------------------------------------
#define IDC_FILE_PATH             1007  // same number as IDC_COMPARE_SECOND_BROWSE of template 105
#define IDC_FILE_BROWSE           1008
#define IDC_FILE_START            1010
#define IDC_FILE_CANCEL           1018
#define IDC_FILE_RESULTS          1020  // same number as IDC_DISC_READ_ERROR_LIST of template 102
#define IDC_FILE_STATUS           1023
#define IDC_FILE_LABEL            1063
#define IDC_FILE_RESULTS_LABEL    1064

// --- File Compare panel (template 105) ----------------------------------------
#define IDC_COMPARE_START          1003
#define IDC_COMPARE_FIRST_PATH     1004
#define IDC_COMPARE_FIRST_BROWSE   1005
#define IDC_COMPARE_SECOND_PATH    1006
#define IDC_COMPARE_SECOND_BROWSE  1007  // same number as IDC_FILE_PATH of template 104
#define IDC_COMPARE_RESULTS        1022
#define IDC_COMPARE_STATUS         1024
#define IDC_COMPARE_CANCEL         1025
#define IDC_COMPARE_FIRST_LABEL    1057
#define IDC_COMPARE_RESULTS_LABEL  1058
#define IDC_COMPARE_SECOND_LABEL   1059

// --- Copy Unreadable File panel (template 112) --------------------------------
#define IDC_COPY_SOURCE_PATH       1026
#define IDC_COPY_DEST_PATH         1027
#define IDC_COPY_SOURCE_BROWSE     1028
#define IDC_COPY_DEST_BROWSE       1029
#define IDC_COPY_RESULTS           1030
#define IDC_COPY_START             1031
#define IDC_COPY_CANCEL            1032
#define IDC_COPY_STATUS            1033
#define IDC_COPY_SOURCE_LABEL      1060
#define IDC_COPY_DEST_LABEL        1061
#define IDC_COPY_RESULTS_LABEL     1062

// --- Verify Checksums results window (template 120) ----------------------------
#define IDC_CHECKSUM_LIST          1070
#define IDC_CHECKSUM_SUMMARY       1071

// --- The maker's web address ----------------------------------------------------
// The link static shows the address without its scheme; the shell opens the URL.
#define VEROLUX_WEB_TEXT "www.verolux.example"
#define VEROLUX_WEB_URL  "https://www.verolux.example/"

#endif
