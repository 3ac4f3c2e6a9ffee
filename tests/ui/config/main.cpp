#include "UiTestSupport.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    failed += RunCtrlSpinBoxTests(argc, argv);
    failed += RunConfigDialogTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
