#include "shell/windowobject.h"

LRESULT WindowObject::close(INT_PTR result) {
    EndDialog(mainWindow, result);
    return 0;
}
LRESULT WindowObject::drawItem(DRAWITEMSTRUCT*) { return 0; }
LRESULT WindowObject::measureItem(MEASUREITEMSTRUCT*) { return 0; }
LRESULT WindowObject::command(WPARAM, UINT, LPARAM) { return 0; }
LRESULT WindowObject::notify(int, NMHDR*) { return 0; }
LRESULT WindowObject::windowMessage(UINT, WPARAM, LPARAM) { return 0; }
