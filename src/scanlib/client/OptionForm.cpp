#include "scanlib/client/OptionForm.h"

#include "scanlib/wire/Catalogue.h"

#include "base/Errors.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace scanlib {

namespace {

// The options shown on top, in this order.
const char *const mainOptions[] = {names::mode, names::resolution, names::source, names::tlX, names::tlY, names::brX, names::brY};

bool isMain(const QByteArray &name)
{
    for (const char *m : mainOptions)
        if (name == m)
            return true;
    return false;
}

QString unitSuffix(OptionUnit unit)
{
    switch (unit) {
    case OptionUnit::Pixel: return QStringLiteral(" Pixel");
    case OptionUnit::Bit: return QStringLiteral(" Bit");
    case OptionUnit::Mm: return QStringLiteral(" mm");
    case OptionUnit::Dpi: return QStringLiteral(" dpi");
    case OptionUnit::Percent: return QStringLiteral(" %");
    case OptionUnit::Microsecond: return QStringLiteral(" µs");
    default: return {};
    }
}

int decimalsFor(double quant)
{
    if (quant <= 0)
        return 2;
    int d = 0;
    while (d < 4 && std::abs(quant * std::pow(10.0, d) - std::round(quant * std::pow(10.0, d))) > 1e-6)
        ++d;
    return d;
}

double firstNumber(const OptionInfo &o)
{
    return o.numbers.empty() ? 0.0 : o.numbers.front();
}

// The resolutions people commonly scan at; a range offers those within it.
constexpr double commonResolutions[] = {75, 100, 150, 200, 300, 400, 600, 1200, 2400, 4800, 9600};

// The value in the range nearest to v that the device's steps reach.
double snapToSteps(const OptionInfo &o, double v)
{
    v = std::clamp(v, o.min, o.max);
    if (o.quant > 0)
        v = std::min(o.max, o.min + std::round((v - o.min) / o.quant) * o.quant);
    return v;
}

// Editors that take the wheel only with the focus, and drop-downs that may shrink below
// their longest entry, so that a narrow form needs no horizontal scroll bar.
void tame(QWidget *editor, QObject *wheelFilter)
{
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(8);
    } else if (!qobject_cast<QAbstractSpinBox *>(editor)) {
        return;
    }
    editor->setFocusPolicy(Qt::StrongFocus);
    editor->installEventFilter(wheelFilter);
}

// A form whose editors take the width its labels leave.
QFormLayout *newForm()
{
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    return form;
}

} // namespace

OptionForm::OptionForm(QWidget *parent) : QWidget(parent), layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
}

bool OptionForm::eventFilter(QObject *watched, QEvent *event)
{
    auto *editor = qobject_cast<QWidget *>(watched);
    if (event->type() != QEvent::Wheel || !editor || editor->hasFocus())
        return QWidget::eventFilter(watched, event);
    for (QWidget *w = parentWidget(); w; w = w->parentWidget())
        if (auto *area = qobject_cast<QAbstractScrollArea *>(w)) {
            QCoreApplication::sendEvent(area->viewport(), event);
            break;
        }
    return true;
}

QWidget *OptionForm::resolutionEditor(const OptionInfo &o, const std::function<void(QVariant)> &report)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const QString unit = unitSuffix(o.unit);
    const double current = firstNumber(o);
    std::vector<double> values;
    for (double v : commonResolutions)
        if (v >= o.min && v <= o.max && snapToSteps(o, v) == v)
            values.push_back(v);
    if (std::find(values.begin(), values.end(), current) == values.end())
        values.insert(std::upper_bound(values.begin(), values.end(), current), current);

    auto *combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr); // "30" means 30, not the 300 an inline completion would make of it
    for (double v : values)
        combo->addItem(german.toString(v) + unit, v);
    combo->setCurrentIndex(combo->findData(current));

    // A picked value goes to the device as in any drop-down; a typed one once, when it
    // differs from the last value given, so that leaving the field after a pick sends nothing.
    auto last = std::make_shared<double>(current);
    const auto take = [o, report, last, combo, german, unit](double v, bool always) {
        v = snapToSteps(o, v);
        combo->setEditText(german.toString(v) + unit);
        if (always || v != *last) {
            *last = v;
            report(v);
        }
    };
    connect(combo, &QComboBox::activated, this, rt::guarded([combo, take](int i) { take(combo->itemData(i).toDouble(), true); }));
    connect(combo->lineEdit(), &QLineEdit::editingFinished, this, rt::guarded([combo, take, last, german, unit] {
                QString text = combo->currentText();
                text.remove(unit.trimmed()).remove(QLatin1Char(' '));
                bool ok = false;
                const double v = german.toDouble(text, &ok);
                if (ok && std::isfinite(v))
                    take(v, false);
                else
                    combo->setEditText(german.toString(*last) + unit);
            }));
    return combo;
}

bool OptionForm::advancedVisible() const
{
    const auto *advanced = content_ ? content_->findChild<QWidget *>(QStringLiteral("advanced")) : nullptr;
    return advanced && advanced->isVisibleTo(this);
}

QWidget *OptionForm::makeEditor(const OptionInfo &o)
{
    const int index = o.index;
    const auto report = [this, index](QVariant value) {
        if (changed)
            changed(index, std::move(value));
    };
    QWidget *editor = nullptr;
    const QString unit = unitSuffix(o.unit);
    const QLocale german(QLocale::German, QLocale::Germany);

    switch (o.type) {
    case OptionType::Bool: {
        auto *box = new QCheckBox;
        box->setChecked(firstNumber(o) != 0);
        connect(box, &QCheckBox::toggled, this, rt::guarded([report](bool on) { report(on); }));
        editor = box;
        break;
    }
    case OptionType::Int:
    case OptionType::Fixed:
        if (o.count() > 1) {
            editor = new QLabel(QStringLiteral("%1 Werte").arg(o.count()));
        } else if (o.name == names::resolution && o.constraint == Constraint::Range) {
            editor = resolutionEditor(o, report);
        } else if (o.constraint == Constraint::WordList) {
            auto *combo = new QComboBox;
            for (double w : o.words)
                combo->addItem(german.toString(w) + unit, w);
            combo->setCurrentIndex(combo->findData(firstNumber(o)));
            connect(combo, &QComboBox::activated, this, rt::guarded([combo, report](int i) { report(combo->itemData(i)); }));
            editor = combo;
        } else if (o.type == OptionType::Int) {
            auto *spin = new QSpinBox;
            if (o.constraint == Constraint::Range) {
                spin->setRange(int(o.min), int(o.max));
                spin->setSingleStep(o.quant > 0 ? int(o.quant) : 1);
            } else {
                spin->setRange(INT_MIN, INT_MAX);
            }
            spin->setValue(int(firstNumber(o)));
            spin->setSuffix(unit);
            spin->setKeyboardTracking(false);
            connect(spin, &QSpinBox::valueChanged, this, rt::guarded([report](int v) { report(v); }));
            editor = spin;
        } else {
            auto *spin = new QDoubleSpinBox;
            if (o.constraint == Constraint::Range) {
                spin->setDecimals(decimalsFor(o.quant));
                spin->setRange(o.min, o.max);
                spin->setSingleStep(o.quant > 0 ? o.quant : (o.max - o.min) / 100);
            } else {
                spin->setRange(-32768.0, 32767.9999);
            }
            spin->setValue(firstNumber(o));
            spin->setSuffix(unit);
            spin->setKeyboardTracking(false);
            connect(spin, &QDoubleSpinBox::valueChanged, this, rt::guarded([report](double v) { report(v); }));
            editor = spin;
        }
        break;
    case OptionType::String:
        if (o.constraint == Constraint::StringList) {
            auto *combo = new QComboBox;
            for (const QByteArray &s : o.strings)
                combo->addItem(tr_sane(s.constData()), s);
            combo->setCurrentIndex(combo->findData(o.text));
            connect(combo, &QComboBox::activated, this, rt::guarded([combo, report](int i) { report(combo->itemData(i)); }));
            editor = combo;
        } else {
            auto *edit = new QLineEdit(QString::fromUtf8(o.text));
            edit->setMaxLength(std::max(0, o.size - 1));
            connect(edit, &QLineEdit::editingFinished, this, rt::guarded([edit, report, old = o.text] {
                        const QByteArray now = edit->text().toUtf8();
                        if (now != old)
                            report(now);
                    }));
            editor = edit;
        }
        break;
    case OptionType::Button: {
        auto *button = new QPushButton(tr_sane(o.title.constData()));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, rt::guarded([report] { report(QVariant()); }));
        editor = button;
        break;
    }
    default: return nullptr;
    }
    tame(editor, this);
    editor->setObjectName(QString::fromLatin1(o.name));
    editor->setToolTip(tr_sane(o.description.constData()));
    editor->setEnabled(o.active() && o.settable() && (o.hasValue || o.type == OptionType::Button));
    return editor;
}

void OptionForm::showOptions(const OptionList &options)
{
    // Remember which option had the focus, to give it back after the rebuild.
    QString focused;
    for (QWidget *w = QApplication::focusWidget(); w && w != this; w = w->parentWidget())
        if (!w->objectName().isEmpty() && isAncestorOf(w)) {
            focused = w->objectName();
            break;
        }

    if (content_) {
        layout_->removeWidget(content_);
        content_->hide();
        content_->setParent(nullptr); // out of reach of findChild until it is deleted
        content_->deleteLater();
    }
    content_ = new QWidget;
    auto *outer = new QVBoxLayout(content_);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *mainForm = newForm();
    mainForm->setObjectName(QStringLiteral("mainOptions"));
    outer->addLayout(mainForm);

    const auto addRow = [this](QFormLayout *form, const OptionInfo &o) {
        QWidget *editor = makeEditor(o);
        if (!editor)
            return;
        const QString title = tr_sane(o.title.constData());
        auto *label = new QLabel(o.type == OptionType::Button ? QString() : title);
        // Long titles wrap; the tooltip holds the whole title beside the description.
        label->setWordWrap(true);
        label->setToolTip(QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), editor->toolTip().toHtmlEscaped()));
        label->setEnabled(editor->isEnabled());
        form->addRow(label, editor);
    };

    for (const char *name : mainOptions)
        for (const OptionInfo &o : options)
            if (o.name == name && o.type != OptionType::Group)
                addRow(mainForm, o);

    auto *toggle = new QToolButton;
    toggle->setObjectName(QStringLiteral("advancedToggle"));
    toggle->setText(QStringLiteral("Erweitert"));
    toggle->setCheckable(true);
    toggle->setChecked(advancedOpen_);
    toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle->setArrowType(advancedOpen_ ? Qt::DownArrow : Qt::RightArrow);
    toggle->setAutoRaise(true);
    auto *advanced = new QWidget;
    advanced->setObjectName(QStringLiteral("advanced"));
    auto *advancedLayout = new QVBoxLayout(advanced);
    advancedLayout->setContentsMargins(12, 0, 0, 0);
    outer->addWidget(toggle);
    outer->addWidget(advanced);
    outer->addStretch(1);

    QFormLayout *group = nullptr;
    QString groupTitle = QStringLiteral("Weitere Einstellungen");
    for (const OptionInfo &o : options) {
        if (o.type == OptionType::Group) {
            groupTitle = tr_sane(o.title.constData());
            group = nullptr;
            continue;
        }
        if (isMain(o.name))
            continue;
        if (!group) {
            auto *box = new QGroupBox(groupTitle);
            group = newForm();
            box->setLayout(group);
            advancedLayout->addWidget(box);
        }
        addRow(group, o);
    }
    toggle->setVisible(advancedLayout->count() > 0);
    advanced->setVisible(advancedOpen_ && advancedLayout->count() > 0);
    connect(toggle, &QToolButton::toggled, this, rt::guarded([this, toggle, advanced](bool open) {
                advancedOpen_ = open;
                toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
                advanced->setVisible(open);
            }));

    layout_->addWidget(content_);
    content_->show(); // at once, not when the layout gets round to it
    if (!focused.isEmpty())
        if (auto *w = content_->findChild<QWidget *>(focused))
            w->setFocus();
}

} // namespace scanlib
