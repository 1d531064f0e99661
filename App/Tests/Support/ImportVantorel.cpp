// A static QML module is found only when its plugin is imported into the program.
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VantorelPlugin)
