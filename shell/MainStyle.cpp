#include "MainStyle.h"

QString PageStyleSheet(const QColor& accent)
{
    const QString a = accent.name();
    const QString aLight = accent.lighter(175).name();
    const QString aSoft = accent.lighter(190).name();
    return QStringLiteral(R"(
QWidget { color: #25303d; font-size: 9pt; }
QStackedWidget#PageControlMain, QStackedWidget#PageControlMain > QWidget { background: white; }
QGroupBox { border: 1px solid #d5dce5; border-radius: 7px; margin-top: 9px; padding-top: 6px; font-weight: bold; color: %1; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; background: white; }
QPushButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e9eef4);
  border: 1px solid #b9c4d1; border-radius: 5px; padding: 3px 10px; }
QPushButton:hover { border-color: %1; background: %3; }
QPushButton:pressed { background: #dfe6ee; }
QPushButton:disabled { color: #a3adb9; border-color: #d7dde5; background: #f3f5f8; }
QPushButton[accent="true"] { background: %1; color: white; border: 1px solid %1; font-weight: bold; }
QPushButton[accent="true"]:hover { background: %2; color: %1; }
QLineEdit { border: 1px solid #b9c4d1; border-radius: 5px; padding: 3px 6px; background: white; selection-background-color: %1; }
QLineEdit:focus { border-color: %1; }
QTreeWidget, QPlainTextEdit { border: 1px solid #cfd7e1; border-radius: 6px; background: white;
  alternate-background-color: #f6f8fb; selection-background-color: %1; selection-color: white; }
QTreeView::item { padding: 3px 2px; }
QHeaderView::section { background: #f1f4f8; border: none; border-bottom: 1px solid #d5dce5;
  border-right: 1px solid #e3e8ee; padding: 4px 6px; color: #4a5868; font-weight: bold; }
QProgressBar { border: 1px solid #cfd7e1; border-radius: 5px; background: #eef2f6; }
QProgressBar::chunk { border-radius: 4px; background: %1; }
QToolButton[formatButton="true"] { border: 1px solid #cfd7e1; border-radius: 8px; font-weight: bold;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #edf1f6); color: #33475b; }
QToolButton[formatButton="true"]:hover { border-color: %1; background: %3; }
QToolButton[formatButton="true"]:disabled { background: %1; color: white; border-color: %1; }
QToolButton[classButton="true"] { border: 1px solid #cfd7e1; border-radius: 0; font-weight: bold; background: #f4f6f9; color: #33475b; }
QToolButton[classButton="true"]:hover { background: %3; }
QToolButton[classButton="true"]:disabled { background: %1; color: white; border-color: %1; }
QRadioButton, QCheckBox { spacing: 8px; }
QRadioButton { font-weight: bold; font-size: 10pt; }
QLabel[summaryTitle="true"] { font-size: 12pt; font-weight: bold; color: %1; }
QLabel[summaryCount="true"] { font-weight: bold; }
QLabel[link="true"] { color: %1; text-decoration: underline; }
QLabel[hint="true"] { color: #66727f; }
)").arg(a, aLight, aSoft);
}
