# How the test programs are built, for a short build of the whole suite:
# - without optimisation, whatever the build type, and in the sanitizer builds without debug
#   information: what they test is the code in Pelko's libraries, which is built as the build
#   type says (a report still names the test's functions, and the library's lines);
# - the tests themselves without UBSan's null, alignment and vptr checks, which cost a third of
#   their compile time in GoogleTest's code: AddressSanitizer still catches a null pointer
#   there, and Pelko's libraries and the test doubles keep every check;
# - precompiled headers for the files that spend most of their time reading the same large
#   headers: Qt's in the window and its tests, GoogleTest's and GoogleMock's in every test. A
#   header missing from a list is read as usual; one listed but unused costs only the loading
#   of the precompiled file.
#   pelko_tune_test_builds()   applies all three to whichever of those targets this build has;
#                              never fails.

set(PELKO_PCH_GTEST <gmock/gmock.h> <gtest/gtest.h> <chrono> <filesystem> <fstream> <sstream>
    <string> <thread> <vector>)
set(PELKO_PCH_QT <QAction> <QApplication> <QCheckBox> <QComboBox> <QDialog> <QFileDialog> <QFont>
    <QFontMetrics> <QGroupBox> <QKeyEvent> <QLabel> <QListWidget> <QMainWindow> <QMenuBar>
    <QMessageBox> <QPainter> <QPixmap> <QPushButton> <QScrollBar> <QSpinBox> <QString> <QTimer>
    <QWidget>)

function(pelko_tune_test_builds)
  set(flags -O0)
  if(PELKO_SANITIZE)
    list(APPEND flags -g0)
  endif()
  foreach(target pelko_test_support pelko_unit pelko_threaded pelko_gui)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE ${flags})
      if(PELKO_SANITIZE MATCHES "undefined" AND NOT target STREQUAL "pelko_test_support")
        target_compile_options(${target} PRIVATE -fno-sanitize=null,alignment,vptr)
      endif()
    endif()
  endforeach()

  if(TARGET pelko_qt)
    target_precompile_headers(pelko_qt PRIVATE ${PELKO_PCH_QT})
  endif()
  if(TARGET pelko_gui)
    target_precompile_headers(pelko_gui PRIVATE ${PELKO_PCH_GTEST} ${PELKO_PCH_QT} <QTest>)
  endif()
  # The unit and threaded tests are built alike, so they share one precompiled header; the
  # threaded tests hold it, as the ThreadSanitizer build has only them.
  if(TARGET pelko_threaded)
    target_precompile_headers(pelko_threaded PRIVATE ${PELKO_PCH_GTEST})
    if(TARGET pelko_unit)
      target_precompile_headers(pelko_unit REUSE_FROM pelko_threaded)
    endif()
  elseif(TARGET pelko_unit)
    target_precompile_headers(pelko_unit PRIVATE ${PELKO_PCH_GTEST})
  endif()
endfunction()
