#include "display/res/LumeqImages.h"

#include <QString>

#include "display/CModuleState.h"

namespace lumeq {

namespace {

QString ResourcePath(const char* file) {
    const CModuleState* state = AfxGetModuleState();
    const char* root = state != nullptr ? state->m_pszResourceRoot : ":/lumeq";
    return QString::fromUtf8(root) + QLatin1Char('/') + QLatin1String(file);
}

}  // namespace

QIcon LumeqIcon() {
    QIcon icon;
    icon.addFile(ResourcePath("LumeqIcon32.xpm"), QSize(32, 32));
    icon.addFile(ResourcePath("LumeqIcon16.xpm"), QSize(16, 16));
    return icon;
}

QImage LumeqToolboxBitmap() {
    return QImage(ResourcePath("LumeqToolbox.xpm"));
}

}  // namespace lumeq
