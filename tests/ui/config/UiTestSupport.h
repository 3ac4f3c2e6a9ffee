#pragma once

int RunCtrlSpinBoxTests(int argc, char** argv);
int RunConfigDialogTests(int argc, char** argv);
