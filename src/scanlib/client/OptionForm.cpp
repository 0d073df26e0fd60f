#include "scanlib/client/OptionForm.h"

#include "scanlib/wire/Catalogue.h"
#include "scanlib/wire/OptionTitles.h"

#include "base/Errors.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAccessibleWidget>
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
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace scanlib {

namespace {

using Report = std::function<void(QVariant)>;

// The options shown on top, in this order.
const char *const mainOptions[] = {names::mode, names::resolution, names::source, names::tlX, names::tlY, names::brX, names::brY};

bool isMain(const QByteArray &name)
{
    return std::any_of(std::begin(mainOptions), std::end(mainOptions), [&](const char *m) { return name == m; });
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

const QLocale &german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

// The decimals an option's numbers are written with: none for whole numbers, else as fine
// as the range's steps, or as the finest entry of a word list needs.
int decimalsOf(const OptionInfo &o)
{
    if (o.type != OptionType::Fixed)
        return 0;
    if (o.constraint == Constraint::WordList) {
        int d = 0;
        for (double w : o.words)
            d = std::max(d, decimalsFor(std::abs(w - std::trunc(w)) > 1e-9 ? w : 1));
        return d;
    }
    return decimalsFor(o.constraint == Constraint::Range ? o.quant : 0);
}

// A number as people write it: German separators, never an exponent, and no zeros after the
// comma that say nothing ("12,5", "42", "16.777.216").
QString numberString(double v, int decimals)
{
    QString text = german().toString(v, 'f', decimals);
    if (decimals > 0) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(german().decimalPoint()))
            text.chop(german().decimalPoint().size());
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString numberText(double v, const OptionInfo &o)
{
    return numberString(v, decimalsOf(o)) + unitSuffix(o.unit);
}

// Text for screen readers and tooltips: markup some backends put into descriptions is taken
// out, line breaks stay.
QString plainText(const QString &text)
{
    static const QRegularExpression tag(QStringLiteral("<\\s*/?\\s*[A-Za-z][^<>]*>|&[A-Za-z]+;|&#[0-9]+;"));
    if (!text.contains(tag))
        return text;
    QString html = text;
    html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return QTextDocumentFragment::fromHtml(html).toPlainText();
}

// Text for a label or a box's title, whose '&' would otherwise mark a shortcut key.
QString withoutMnemonic(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

// A spin box for numbers with a comma, written as numberString writes them.
class DecimalSpinBox : public QDoubleSpinBox {
public:
    QString textFromValue(double v) const override { return numberString(v, decimals()); }
};

// Spin boxes count the German way, with points between thousands.
void speakGerman(QAbstractSpinBox *spin)
{
    spin->setLocale(german());
    spin->setGroupSeparatorShown(true);
}

// The resolutions people commonly scan at; a range offers those within it.
constexpr double commonResolutions[] = {75, 100, 150, 200, 300, 400, 600, 1200, 2400, 4800, 9600};

// Fills a drop-down with entries (text, value) and selects current, unless it holds them already.
void fill(QComboBox *combo, const std::vector<std::pair<QString, QVariant>> &entries, const QVariant &current)
{
    const QSignalBlocker quiet(combo);
    bool same = combo->count() == int(entries.size());
    for (int i = 0; same && i < combo->count(); ++i)
        same = combo->itemText(i) == entries[std::size_t(i)].first && combo->itemData(i) == entries[std::size_t(i)].second;
    if (!same) {
        combo->clear();
        for (const auto &[text, value] : entries)
            combo->addItem(text, value);
    }
    combo->setCurrentIndex(combo->findData(current));
}

// A drop-down that screen readers name by its accessible name. Qt names drop-downs on Linux
// by their current entry, which is the value, and leaves the title to the label's relation,
// which not every screen reader follows.
class NamedComboBox : public QComboBox {
public:
    NamedComboBox();
};

class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox *combo) : QAccessibleWidget(combo, QAccessible::ComboBox) { }
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            if (!combo()->accessibleName().isEmpty())
                return combo()->accessibleName();
            [[fallthrough]];
        case QAccessible::Value: return combo()->isEditable() ? combo()->lineEdit()->text() : combo()->currentText();
        default: return QAccessibleWidget::text(t);
        }
    }
    // As Qt's own: the list, and the line to type in of an editable one, which has the focus.
    int childCount() const override { return combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        return index == 1 && combo()->lineEdit() ? QAccessible::queryAccessibleInterface(combo()->lineEdit()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child && child->object() == combo()->view())
            return 0;
        return child && combo()->lineEdit() && child->object() == combo()->lineEdit() ? 1 : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const bool onLine = combo()->lineEdit() && combo()->lineEdit()->geometry().contains(combo()->mapFromGlobal(QPoint(x, y)));
        return onLine ? child(1) : nullptr;
    }
    QAccessibleInterface *focusChild() const override { return combo()->isEditable() ? child(1) : nullptr; }
    QStringList actionNames() const override { return QStringList{showMenuAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return QAccessibleWidget::doAction(action);
        if (combo()->view()->isVisible())
            combo()->hidePopup();
        else
            combo()->showPopup();
    }

private:
    QComboBox *combo() const { return static_cast<QComboBox *>(object()); }
};

QAccessibleInterface *namedComboFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("QComboBox"))
        if (auto *combo = dynamic_cast<NamedComboBox *>(object))
            return new NamedComboAccessible(combo);
    return nullptr;
}

// The factory stays for the life of the process, as the library does once loaded.
NamedComboBox::NamedComboBox()
{
    static const bool installed = (QAccessible::installFactory(namedComboFactory), true);
    Q_UNUSED(installed);
}

} // namespace

QComboBox *newNamedComboBox()
{
    return new NamedComboBox;
}

namespace {

// The editor kinds, one class each.

class BoolEditor : public OptionEditor {
public:
    BoolEditor(QObject *context, const Report &report)
    {
        QObject::connect(box_, &QCheckBox::toggled, context, rt::guarded([report](bool on) { report(on); }));
    }
    QWidget *widget() const override { return box_; }
    void update(const OptionInfo &o) override
    {
        const QSignalBlocker quiet(box_);
        box_->setChecked(o.firstNumber() != 0);
    }

private:
    QCheckBox *box_ = new QCheckBox;
};

// An option of several numbers: only how many there are.
class CountEditor : public OptionEditor {
public:
    QWidget *widget() const override { return label_; }
    void update(const OptionInfo &o) override { label_->setText(QStringLiteral("%1 Werte").arg(german().toString(o.count()))); }

private:
    QLabel *label_ = new QLabel;
};

class IntEditor : public OptionEditor {
public:
    IntEditor(QObject *context, const Report &report)
    {
        spin_->setKeyboardTracking(false);
        speakGerman(spin_);
        QObject::connect(spin_, &QSpinBox::valueChanged, context, rt::guarded([report](int v) { report(v); }));
    }
    QWidget *widget() const override { return spin_; }
    void update(const OptionInfo &o) override
    {
        const QSignalBlocker quiet(spin_);
        if (o.constraint == Constraint::Range) {
            spin_->setRange(int(o.min), int(o.max));
            spin_->setSingleStep(o.quant > 0 ? int(o.quant) : 1);
        } else {
            spin_->setRange(INT_MIN, INT_MAX);
        }
        spin_->setSuffix(unitSuffix(o.unit));
        spin_->setValue(int(o.firstNumber()));
    }

private:
    QSpinBox *spin_ = new QSpinBox;
};

class FixedEditor : public OptionEditor {
public:
    FixedEditor(QObject *context, const Report &report)
    {
        spin_->setKeyboardTracking(false);
        speakGerman(spin_);
        QObject::connect(spin_, &QDoubleSpinBox::valueChanged, context, rt::guarded([report](double v) { report(v); }));
    }
    QWidget *widget() const override { return spin_; }
    void update(const OptionInfo &o) override
    {
        const QSignalBlocker quiet(spin_);
        spin_->setDecimals(decimalsOf(o));
        if (o.constraint == Constraint::Range) {
            spin_->setRange(o.min, o.max);
            spin_->setSingleStep(o.quant > 0 ? o.quant : (o.max - o.min) / 100);
        } else {
            spin_->setRange(-32768.0, 32767.9999);
        }
        spin_->setSuffix(unitSuffix(o.unit));
        spin_->setValue(o.firstNumber());
    }

private:
    QDoubleSpinBox *spin_ = new DecimalSpinBox;
};

// A drop-down of the values of a word list, or of the strings of a string list.
class ListEditor : public OptionEditor {
public:
    ListEditor(QObject *context, const Report &report)
    {
        QObject::connect(combo_, &QComboBox::activated, context,
                         rt::guarded([combo = combo_, report](int i) { report(combo->itemData(i)); }));
    }
    QWidget *widget() const override { return combo_; }
    void update(const OptionInfo &o) override
    {
        std::vector<std::pair<QString, QVariant>> entries;
        if (o.type == OptionType::String) {
            for (const QByteArray &s : o.strings)
                entries.emplace_back(optionEntry(o, s), s);
            fill(combo_, entries, o.text);
        } else {
            for (double w : o.words)
                entries.emplace_back(numberText(w, o), w);
            fill(combo_, entries, o.firstNumber());
        }
    }

private:
    QComboBox *combo_ = new NamedComboBox;
};

// A range of resolutions: the common ones to pick, any other to type.
class ResolutionEditor : public OptionEditor {
public:
    ResolutionEditor(QObject *context, const Report &report) : report_(report)
    {
        combo_->setEditable(true);
        combo_->setInsertPolicy(QComboBox::NoInsert);
        combo_->setCompleter(nullptr); // "30" means 30, not the 300 an inline completion would make of it
        // A picked value goes to the device as in any drop-down; a typed one once, when it
        // differs from the last value given, so that leaving the field after a pick sends nothing.
        QObject::connect(combo_, &QComboBox::activated, context,
                         rt::guarded([this](int i) { take(combo_->itemData(i).toDouble(), true); }));
        QObject::connect(combo_->lineEdit(), &QLineEdit::editingFinished, context, rt::guarded([this] { typed(); }));
    }
    QWidget *widget() const override { return combo_; }
    void update(const OptionInfo &o) override
    {
        option_ = o;
        last_ = o.firstNumber();
        std::vector<double> values;
        for (double v : commonResolutions)
            if (v >= o.min && v <= o.max && snapToRange(o, v) == v)
                values.push_back(v);
        if (std::find(values.begin(), values.end(), last_) == values.end())
            values.insert(std::upper_bound(values.begin(), values.end(), last_), last_);
        std::vector<std::pair<QString, QVariant>> entries;
        entries.reserve(values.size());
        for (double v : values)
            entries.emplace_back(numberText(v, o), v);
        fill(combo_, entries, last_);
    }

private:
    void take(double v, bool always)
    {
        v = snapToRange(option_, v);
        combo_->setEditText(numberText(v, option_));
        if (always || v != last_) {
            last_ = v;
            report_(v);
        }
    }
    void typed()
    {
        QString text = combo_->currentText();
        text.remove(unitSuffix(option_.unit).trimmed()).remove(QLatin1Char(' '));
        bool ok = false;
        const double v = german().toDouble(text, &ok);
        if (ok && std::isfinite(v))
            take(v, false);
        else
            combo_->setEditText(numberText(last_, option_));
    }

    QComboBox *combo_ = new NamedComboBox;
    Report report_;
    OptionInfo option_;
    double last_ = 0;
};

class TextEditor : public OptionEditor {
public:
    TextEditor(QObject *context, const Report &report)
    {
        QObject::connect(edit_, &QLineEdit::editingFinished, context, rt::guarded([this, report] {
                             const QByteArray now = edit_->text().toUtf8();
                             if (now != shown_)
                                 report(now);
                         }));
    }
    QWidget *widget() const override { return edit_; }
    void update(const OptionInfo &o) override
    {
        edit_->setMaxLength(std::max(0, o.size - 1));
        shown_ = o.text;
        // What the user is typing stays until the field is left.
        if (!(edit_->hasFocus() && edit_->isModified()))
            edit_->setText(QString::fromUtf8(o.text));
    }

private:
    QLineEdit *edit_ = new QLineEdit;
    QByteArray shown_;
};

class ButtonEditor : public OptionEditor {
public:
    ButtonEditor(QObject *context, const Report &report)
    {
        button_->setAutoDefault(false);
        QObject::connect(button_, &QPushButton::clicked, context, rt::guarded([report] { report(QVariant()); }));
    }
    QWidget *widget() const override { return button_; }
    void update(const OptionInfo &o) override { button_->setText(optionTitle(o)); }

private:
    QPushButton *button_ = new QPushButton;
};

// The editor an option gets; nullptr for a group or a type the form does not know.
std::unique_ptr<OptionEditor> editorFor(const OptionInfo &o, QObject *context, const Report &report)
{
    switch (o.type) {
    case OptionType::Bool: return std::make_unique<BoolEditor>(context, report);
    case OptionType::Int:
    case OptionType::Fixed:
        if (o.count() > 1)
            return std::make_unique<CountEditor>();
        if (o.name == names::resolution && o.constraint == Constraint::Range)
            return std::make_unique<ResolutionEditor>(context, report);
        if (o.constraint == Constraint::WordList)
            return std::make_unique<ListEditor>(context, report);
        if (o.type == OptionType::Int)
            return std::make_unique<IntEditor>(context, report);
        return std::make_unique<FixedEditor>(context, report);
    case OptionType::String:
        if (o.constraint == Constraint::StringList)
            return std::make_unique<ListEditor>(context, report);
        return std::make_unique<TextEditor>(context, report);
    case OptionType::Button: return std::make_unique<ButtonEditor>(context, report);
    default: return nullptr;
    }
}

// What decides which fields the form has, in order: the same list keeps the fields.
std::vector<QByteArray> shapeOf(const OptionList &options)
{
    std::vector<QByteArray> shape;
    for (const OptionInfo &o : options) {
        QByteArray key = QByteArray::number(o.index) + ' ' + o.name + ' ' + QByteArray::number(int(o.type)) + ' '
            + QByteArray::number(int(o.constraint)) + ' ' + QByteArray::number(o.count() > 1 ? 1 : 0);
        if (o.type == OptionType::Group)
            key += ' ' + o.title;
        shape.push_back(std::move(key));
    }
    return shape;
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
    setObjectName(QStringLiteral("optionForm"));
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

void OptionForm::setAreaRow(QLabel *label, QWidget *field)
{
    areaLabel_ = label;
    areaField_ = field;
    areaLabel_->setBuddy(field);
    // The form owns them from now on, also while it shows no area to put them beside.
    for (QWidget *own : {static_cast<QWidget *>(label), field}) {
        own->setParent(this);
        own->hide();
    }
}

void OptionForm::showNumber(const QByteArray &name, double value)
{
    if (!content_)
        return;
    QWidget *field = content_->findChild<QWidget *>(QString::fromLatin1(name));
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(field)) {
        const QSignalBlocker quiet(spin);
        spin->setValue(value);
    } else if (auto *whole = qobject_cast<QSpinBox *>(field)) {
        const QSignalBlocker quiet(whole);
        whole->setValue(int(std::lround(value)));
    }
}

void OptionForm::showOptions(const OptionList &options)
{
    std::vector<QByteArray> shape = shapeOf(options);
    if (!content_ || shape != shape_) {
        shape_ = std::move(shape);
        rebuild(options);
    } else {
        for (const OptionInfo &o : options)
            if (auto row = rows_.find(o.index); row != rows_.end()) {
                row->second.editor->update(o);
                showState(row->second, o);
            }
    }
    emit shown();
}

void OptionForm::showState(const Row &row, const OptionInfo &o)
{
    QWidget *editor = row.editor->widget();
    const QString title = plainText(optionTitle(o));
    const QString description = plainText(optionDescription(o));
    editor->setToolTip(description);
    editor->setEnabled(o.isEditable());
    // Screen readers name each field by its title, not by what it shows (a drop-down's entry,
    // a count of values), and read the description after it.
    editor->setAccessibleName(title);
    const auto *count = qobject_cast<const QLabel *>(editor); // says only how many values there are
    editor->setAccessibleDescription(count && !description.isEmpty() ? count->text() + QStringLiteral(". ") + description
                                         : count                     ? count->text()
                                                                     : description);
    row.label->setText(o.type == OptionType::Button ? QString() : withoutMnemonic(title));
    // The tooltip holds the whole title, which may wrap, beside the description.
    row.label->setToolTip(QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), description.toHtmlEscaped()));
    row.label->setAccessibleDescription(description);
    row.label->setEnabled(editor->isEnabled());
}

void OptionForm::addRow(QFormLayout *form, const OptionInfo &o)
{
    const int index = o.index;
    std::unique_ptr<OptionEditor> editor = editorFor(o, this, [this, index](QVariant value) {
        if (changed)
            changed(index, std::move(value));
    });
    if (!editor)
        return;
    QWidget *widget = editor->widget();
    tame(widget, this);
    widget->setObjectName(QString::fromLatin1(o.name));
    editor->update(o);
    // The widget owns its editor: what the widget reports while it is taken down still
    // reaches a live one.
    Row row{editor.release(), new QLabel};
    connect(widget, &QObject::destroyed, [e = row.editor] { delete e; });
    row.label->setWordWrap(true);
    row.label->setBuddy(widget);
    showState(row, o);
    form->addRow(row.label, widget);
    if (o.type == OptionType::Button)
        row.label->hide(); // the button says its title itself
    rows_[index] = row;
}

void OptionForm::rebuild(const OptionList &options)
{
    // Remember which option had the focus, to give it back after the rebuild.
    QString focused;
    for (QWidget *w = QApplication::focusWidget(); w && w != this; w = w->parentWidget())
        if (!w->objectName().isEmpty() && isAncestorOf(w)) {
            focused = w->objectName();
            break;
        }

    rows_.clear();
    // The dialog's own row outlives the fields around it.
    for (QWidget *own : {static_cast<QWidget *>(areaLabel_), areaField_})
        if (own) {
            own->hide();
            own->setParent(this);
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
    for (const char *name : mainOptions)
        for (const OptionInfo &o : options)
            if (o.name == name && o.type != OptionType::Group) {
                if (o.name == names::tlX && areaField_ && o.isActive) {
                    mainForm->addRow(areaLabel_, areaField_);
                    areaLabel_->show();
                    areaField_->show();
                }
                addRow(mainForm, o);
            }
    buildAdvanced(outer, options);

    layout_->addWidget(content_);
    content_->show(); // at once, not when the layout gets round to it
    if (!focused.isEmpty())
        if (auto *w = content_->findChild<QWidget *>(focused))
            w->setFocus();
}

// "Erweitert": a toggle and below it the other options, a box for each group.
void OptionForm::buildAdvanced(QVBoxLayout *outer, const OptionList &options)
{
    auto *toggle = new QToolButton;
    toggle->setObjectName(QStringLiteral("advancedToggle"));
    toggle->setText(QStringLiteral("Erweitert"));
    toggle->setCheckable(true);
    toggle->setChecked(advancedOpen_);
    toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle->setArrowType(advancedOpen_ ? Qt::DownArrow : Qt::RightArrow);
    toggle->setAutoRaise(true);
    toggle->setAccessibleName(toggle->text());
    toggle->setAccessibleDescription(QStringLiteral("Zeigt oder verbirgt die übrigen Einstellungen des Scanners."));
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
            groupTitle = plainText(trSane(o.title.constData()));
            group = nullptr;
            continue;
        }
        if (isMain(o.name))
            continue;
        if (!group) {
            auto *box = new QGroupBox(withoutMnemonic(groupTitle));
            box->setAccessibleName(groupTitle);
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
}

} // namespace scanlib
