#pragma once
#define IDD_TEST_PLAIN 200
#define IDC_TEST_BUTTON 1000
#define IDD_TEST_HTML 201
