// Mendrik: registers the recorder's audio components again when the
// recorder no longer starts.
#include <QtWidgets/QApplication>

#include "MendrikDlg.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  mendrik::MendrikDlg dlg(mendrik::MendrikDlg::DefaultPlaces());
  dlg.show();
  return app.exec();
}
