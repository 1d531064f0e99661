// The executable "vantorel": takes no arguments of its own; Qt's, such as -platform, still work.
#include <QtQml/qqmlextensionplugin.h>

#include "Windows/QuillmereApp.h"

Q_IMPORT_QML_PLUGIN(VantorelPlugin)

int main(int argc, char** argv) {
    qm::QuillmereApp app(argc, argv);
    return app.exec();
}
