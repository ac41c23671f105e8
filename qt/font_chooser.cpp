#include "qt/font_chooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdlib>

#include "qt/qt_font.h"

namespace pelko::qt {

namespace {

// The sixteen basic colours, 0x00BBGGRR.
struct NamedColor {
    const char* name;
    std::uint32_t rgb;
};
constexpr NamedColor kColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

QColor ToQColor(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

QIcon Swatch(std::uint32_t bgr) {
    QPixmap pm(12, 12);
    pm.fill(ToQColor(bgr));
    return QIcon(pm);
}

enum Style { Regular, Bold, Italic, BoldItalic };
constexpr int kMinPixels = 6;
constexpr int kMaxPixels = 72;
constexpr int kBoldWeight = 700;
constexpr int kRegularWeight = 400;

} // namespace

QStringList FontChooser::Families() {
    QStringList out;
    for (const QString& family : QFontDatabase::families()) {
        const QByteArray latin = family.toLatin1();
        if (QFontDatabase::isFixedPitch(family) && !QFontDatabase::isPrivateFamily(family) &&
            latin.size() < platform::LF_FACESIZE && QString::fromLatin1(latin) == family) {
            out.push_back(family);
        }
    }
    return out;
}

FontChooser::FontChooser(QWidget* parent, const platform::LogFont& lf, std::uint32_t color)
    : QDialog(parent), start_(lf) {
    setWindowTitle(QStringLiteral("Font"));
    setModal(true);

    family_ = new QListWidget(this);
    family_->setObjectName(QStringLiteral("family"));
    family_->addItems(Families());
    // The face the terminal really uses: a face that is not installed shows as its stand-in.
    const QString resolved = QFontInfo(MakeQFont(lf)).family();
    const QList<QListWidgetItem*> found = family_->findItems(resolved, Qt::MatchFixedString);
    if (!found.isEmpty()) {
        family_->setCurrentItem(found.front());
    } else if (family_->count() > 0) {
        family_->setCurrentRow(0);
    }

    style_ = new QComboBox(this);
    style_->setObjectName(QStringLiteral("style"));
    style_->addItems({QStringLiteral("Regular"), QStringLiteral("Bold"), QStringLiteral("Italic"),
                      QStringLiteral("Bold Italic")});
    const bool bold = lf.lfWeight >= 600;
    style_->setCurrentIndex(lf.lfItalic != 0 ? (bold ? BoldItalic : Italic)
                                             : (bold ? Bold : Regular));

    size_ = new QSpinBox(this);
    size_->setObjectName(QStringLiteral("size"));
    size_->setRange(kMinPixels, kMaxPixels);
    size_->setSuffix(QStringLiteral(" px"));
    size_->setValue(lf.lfHeight == 0 ? 14 : std::abs(lf.lfHeight));

    underline_ = new QCheckBox(QStringLiteral("&Underline"), this);
    underline_->setObjectName(QStringLiteral("underline"));
    underline_->setChecked(lf.lfUnderline != 0);
    strikeOut_ = new QCheckBox(QStringLiteral("Stri&keout"), this);
    strikeOut_->setObjectName(QStringLiteral("strikeout"));
    strikeOut_->setChecked(lf.lfStrikeOut != 0);

    color_ = new QComboBox(this);
    color_->setObjectName(QStringLiteral("color"));
    int current = -1;
    for (const NamedColor& c : kColors) {
        color_->addItem(Swatch(c.rgb), QString::fromLatin1(c.name),
                        QVariant::fromValue<quint32>(c.rgb));
        if (c.rgb == (color & 0xFFFFFF)) {
            current = color_->count() - 1;
        }
    }
    if (current < 0) {
        color_->addItem(Swatch(color), QStringLiteral("Custom"),
                        QVariant::fromValue<quint32>(color));
        current = color_->count() - 1;
    }
    color_->setCurrentIndex(current);

    sample_ = new QLabel(QStringLiteral("AaBbYyZz 0123 {}[]"), this);
    sample_->setObjectName(QStringLiteral("sample"));
    sample_->setAlignment(Qt::AlignCenter);
    sample_->setMinimumHeight(kMaxPixels + 8);
    sample_->setFrameShape(QFrame::StyledPanel);
    sample_->setAutoFillBackground(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Font st&yle:"), style_);
    form->addRow(QStringLiteral("&Size:"), size_);
    auto* effects = new QGroupBox(QStringLiteral("Effects"), this);
    auto* effectsLayout = new QVBoxLayout(effects);
    effectsLayout->addWidget(strikeOut_);
    effectsLayout->addWidget(underline_);
    auto* colorForm = new QFormLayout;
    colorForm->addRow(QStringLiteral("&Color:"), color_);
    effectsLayout->addLayout(colorForm);

    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addWidget(effects);
    right->addStretch();
    auto* familyLabel = new QLabel(QStringLiteral("&Font:"), this);
    familyLabel->setBuddy(family_);
    auto* left = new QVBoxLayout;
    left->addWidget(familyLabel);
    left->addWidget(family_);
    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addLayout(right);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(sample_);
    all->addWidget(buttons);

    connect(family_, &QListWidget::currentRowChanged, this, &FontChooser::UpdateSample);
    connect(style_, &QComboBox::currentIndexChanged, this, &FontChooser::UpdateSample);
    connect(size_, &QSpinBox::valueChanged, this, &FontChooser::UpdateSample);
    connect(underline_, &QCheckBox::toggled, this, &FontChooser::UpdateSample);
    connect(strikeOut_, &QCheckBox::toggled, this, &FontChooser::UpdateSample);
    connect(color_, &QComboBox::currentIndexChanged, this, &FontChooser::UpdateSample);
    UpdateSample();
}

platform::LogFont FontChooser::Chosen() const {
    platform::LogFont lf = start_;
    if (const QListWidgetItem* item = family_->currentItem()) {
        platform::SetFaceName(lf, item->text().toLatin1().constData());
    }
    lf.lfHeight = size_->value();
    const int style = style_->currentIndex();
    lf.lfWeight = style == Bold || style == BoldItalic ? kBoldWeight : kRegularWeight;
    lf.lfItalic = style == Italic || style == BoldItalic ? 1 : 0;
    lf.lfUnderline = underline_->isChecked() ? 1 : 0;
    lf.lfStrikeOut = strikeOut_->isChecked() ? 1 : 0;
    return lf;
}

std::uint32_t FontChooser::Color() const {
    return color_->currentData().value<quint32>();
}

void FontChooser::UpdateSample() {
    sample_->setFont(MakeQFont(Chosen()));
    QPalette pal = sample_->palette();
    pal.setColor(QPalette::WindowText, ToQColor(Color()));
    pal.setColor(QPalette::Window, Qt::white);
    sample_->setPalette(pal);
}

bool RunFontChooser(QWidget* parent, platform::LogFont& lf, std::uint32_t& color) {
    FontChooser chooser(parent, lf, color);
    if (chooser.exec() != QDialog::Accepted) {
        return false;
    }
    lf = chooser.Chosen();
    color = chooser.Color();
    return true;
}

} // namespace pelko::qt
