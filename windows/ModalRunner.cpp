#include "ModalRunner.h"

#include <QDialog>
#include <utility>

namespace {
TModalRunner runner;   // user-interface thread only
}

int RunModal(QDialog& dialog)
{
    if (runner)
        return runner(dialog);
    return dialog.exec();
}

TModalRunner SetModalRunner(TModalRunner next)
{
    std::swap(runner, next);
    return next;
}
