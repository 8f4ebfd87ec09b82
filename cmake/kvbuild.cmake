# How the trees are built fast from scratch (CI builds four of them on two cores, with no cache):
# unity builds, precompiled headers and a fast linker. Each can be turned off; none changes what is built.

# Unity builds: a target's sources are compiled KV_UNITY_BATCH at a time as one file, so the Qt and
# standard headers are parsed once a batch instead of once a file. Turn off (-DKV_UNITY=OFF) when
# editing one file over and over: then only that file is rebuilt. Sources must not clash when put
# together: helpers in an unnamed namespace need names of their own across a folder.
option(KV_UNITY "Build each target's sources a batch at a time" ON)
set(KV_UNITY_BATCH 8 CACHE STRING "Sources per unity batch")
set(CMAKE_UNITY_BUILD ${KV_UNITY})
set(CMAKE_UNITY_BUILD_BATCH_SIZE ${KV_UNITY_BATCH})

# Precompiled headers: what the sources of a target start with, parsed once per target.
option(KV_PCH "Precompile the headers the sources of a target share" ON)

set(KV_PCH_STD <algorithm> <atomic> <chrono> <cstdint> <cstring> <functional> <map> <memory> <mutex>
    <optional> <set> <string> <string_view> <unordered_map> <utility> <vector>)
set(KV_PCH_POSIX <cerrno> <fcntl.h> <sys/stat.h> <sys/types.h> <unistd.h>)
set(KV_PCH_QTCORE <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QFile> <QList> <QObject>
    <QPointer> <QString> <QStringList> <QTimer> <QUrl>)
set(KV_PCH_QTWIDGETS <QAbstractItemModel> <QApplication> <QCheckBox> <QComboBox> <QDialog>
    <QHBoxLayout> <QKeyEvent> <QLabel> <QLineEdit> <QLocale> <QMenu> <QMessageBox> <QMimeData>
    <QMimeDatabase> <QPushButton> <QStyle> <QTreeView> <QVBoxLayout> <QWebEnginePage>
    <QWebEngineProfile> <QWebEngineView> <QWidget>)

# kv_precompile(<target> <header>...): the target's sources get these headers precompiled.
function(kv_precompile target)
  if(KV_PCH)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

# The linker: mold where it is installed (linking the test programs with debug information took
# ld.bfd tens of seconds each), else lld, else the default. The Windows cross build keeps its own.
if(NOT MINGW)
  find_program(KV_MOLD mold)
  find_program(KV_LLD ld.lld)
  if(KV_MOLD)
    add_link_options(-fuse-ld=mold)
  elseif(KV_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()
