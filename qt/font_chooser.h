#pragma once
// The terminal font chooser: fixed-pitch families only, a style, a size in pixels, underline,
// strike-out and a text colour, with a sample. Sizes are whole pixels, the unit of the terminal
// font's height, so a chosen size comes back exactly.
//   RunFontChooser(parent, lf, color)  true when the user chose (lf and color then hold the
//                                      choice); false when cancelled, both left unchanged
//   FontChooser(parent, lf, color)     the dialog itself, starting from lf and color;
//                                      Chosen() and Color() give what it shows
#include <QDialog>
#include <cstdint>

#include "platform/font.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QSpinBox;

namespace pelko::qt {

class FontChooser : public QDialog {
    Q_OBJECT
public:
    FontChooser(QWidget* parent, const platform::LogFont& lf, std::uint32_t color);

    // The font description as chosen: the starting description with face, height, weight,
    // italic, underline and strike-out replaced.
    platform::LogFont Chosen() const;
    std::uint32_t Color() const; // 0x00BBGGRR

    // Families the chooser offers: fixed pitch, and names that fit a face-name field.
    static QStringList Families();

private:
    void UpdateSample();

    platform::LogFont start_;
    QListWidget* family_;
    QComboBox* style_;
    QSpinBox* size_;
    QCheckBox* underline_;
    QCheckBox* strikeOut_;
    QComboBox* color_;
    QLabel* sample_;
};

bool RunFontChooser(QWidget* parent, platform::LogFont& lf, std::uint32_t& color);

} // namespace pelko::qt
