#pragma once

// Identifiers shared by the resource script and the window code. The resource compiler reads
// this file too, so it holds #define lines only.

// Icons: the application's first (Explorer and the taskbar take the first icon), then one per
// action, in the order of TMainAction.
#define IDI_APP 1
#define IDI_CONFIG 201
#define IDI_CLEANUP 202
#define IDI_EXIT 203
#define IDI_ECHO 204
#define IDI_READCLOCK 205
#define IDI_WRITECLOCK 206
#define IDI_WRITECURRENT 207
#define IDI_SYNCCLOCK 208

#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101

// Commands: menu items, toolbar buttons, accelerators and the panels' buttons (which carry the
// command of their action as their control identifier).
#define IDM_CONFIG 1001
#define IDM_CLEANUPMARKS 1002
#define IDM_EXIT 1003
#define IDM_SENDECHO 1004
#define IDM_GETDATETIME 1005
#define IDM_SETDATETIME 1006
#define IDM_SETCURRDATETIME 1007
#define IDM_SYNCCLOCK 1008
#define IDM_CANCEL 1009

// The main window's controls.
#define IDC_TOOLBAR 2000
#define IDC_PNKESTROIDHEADER 2001
#define IDC_SHWARNKESTROID 2002
#define IDC_LBLKESTROID 2003
#define IDC_SEDKESTROID 2004
#define IDC_SEDKESTROID_SPIN 2005
#define IDC_CHBALLMETERS 2006
#define IDC_PNDATETIMEHEADER 2007
#define IDC_SHWARNDATETIME 2008
#define IDC_LBLTIME 2009
#define IDC_EDTIME 2010
#define IDC_LBLDATE 2011
#define IDC_EDDATE 2012
#define IDC_LBLCLOCKOFFSET 2013
#define IDC_LBLSTATUS 2014

// The Config dialog and its page.
#define IDD_CONFIG 300
#define IDD_CONFIG_COMMUNICATION 301
#define IDC_PGCCONFIG 3001
#define IDC_BTNDEFAULT 3002
#define IDC_TSHCOMMUNICATION 3003
#define IDC_BEVEL1 3010
#define IDC_LBLCOMPORT 3011
#define IDC_EDCOMPORT 3012
#define IDC_LBLBAUDRATE 3013
#define IDC_EDBAUDRATE 3014
#define IDC_LBLBAUDRATEUNITS 3015
#define IDC_LBLTIMEOUT 3016
#define IDC_EDTIMEOUT 3017
#define IDC_EDTIMEOUT_SPIN 3018
#define IDC_LBLTIMEOUTUNITS 3019

#define IDS_TSHCOMMUNICATION 400
