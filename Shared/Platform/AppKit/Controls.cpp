// Controls: buttons, pop-ups, text fields with formatters, steppers, tables
// and tabs.
#include "AppKitPrivate.h"

#include <QtCore/QAbstractTableModel>
#include <QtGui/QPixmap>
#include <QtGui/QValidator>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTabWidget>
#include <QtWidgets/QTableView>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

using vt::appkit::ViewAccess;
using vt::appkit::ViewImpl;

namespace {

template <class Widget> Widget* widgetOf(const NSView* view)
{
    return static_cast<Widget*>(ViewAccess::widget(view));
}

QString qt(const NSString& text)
{
    return QString::fromStdString(text.utf8());
}

NSString ns(const QString& text)
{
    return NSString(text.toStdString());
}

// The number at the start of a text after blanks, as NSString's
// doubleValue reads it; 0 when there is none.
double leadingDouble(const std::string& text)
{
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t' || *begin == '\n')
        ++begin;
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    return end == begin || !std::isfinite(value) ? 0.0 : value;
}

NSString shortestText(double value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return NSString(std::string(buffer, result.ptr));
}

} // namespace

// ----------------------------------------------------------------- NSControl
bool NSControl::isEnabled() const
{
    return ViewAccess::widget(this)->isEnabled();
}

void NSControl::setEnabled(bool enabled)
{
    ViewAccess::widget(this)->setEnabled(enabled);
}

void NSControl::setAction(std::function<void(id)> action)
{
    impl()->action = std::move(action);
}

// ------------------------------------------------------------------ NSButton
NSButton::NSButton(NSRect frame, NSButtonType type)
    : NSControl(std::make_unique<ViewImpl>(type == NSButtonTypeSwitch ? static_cast<QAbstractButton*>(new QCheckBox)
                                                                      : new QPushButton))
{
    setFrame(frame);
    ViewImpl* d = impl();
    QObject::connect(widgetOf<QAbstractButton>(this), &QAbstractButton::clicked, [d] { d->sendAction(); });
}

NSString NSButton::title() const
{
    return ns(widgetOf<QAbstractButton>(this)->text());
}

void NSButton::setTitle(const NSString& title)
{
    widgetOf<QAbstractButton>(this)->setText(qt(title));
}

NSControlStateValue NSButton::state() const
{
    return widgetOf<QAbstractButton>(this)->isChecked() ? NSControlStateValueOn : NSControlStateValueOff;
}

void NSButton::setState(NSControlStateValue state)
{
    auto* button = widgetOf<QAbstractButton>(this);
    if (button->isCheckable())
        button->setChecked(state != NSControlStateValueOff);
}

// ------------------------------------------------------------- NSPopUpButton
NSPopUpButton::NSPopUpButton(NSRect frame) : NSControl(std::make_unique<ViewImpl>(new QComboBox))
{
    setFrame(frame);
    ViewImpl* d = impl();
    QObject::connect(widgetOf<QComboBox>(this), &QComboBox::activated, [d](int) { d->sendAction(); });
}

void NSPopUpButton::addItemWithTitle(const NSString& title)
{
    auto* combo = widgetOf<QComboBox>(this);
    // AppKit keeps titles unique: adding an existing title moves it last.
    int existing = combo->findText(qt(title), Qt::MatchExactly);
    if (existing >= 0)
        combo->removeItem(existing);
    combo->addItem(qt(title));
}

void NSPopUpButton::removeAllItems()
{
    widgetOf<QComboBox>(this)->clear();
}

NSInteger NSPopUpButton::numberOfItems() const
{
    return widgetOf<QComboBox>(this)->count();
}

void NSPopUpButton::selectItemAtIndex(NSInteger index)
{
    auto* combo = widgetOf<QComboBox>(this);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? static_cast<int>(index) : -1);
}

NSInteger NSPopUpButton::indexOfSelectedItem() const
{
    return widgetOf<QComboBox>(this)->currentIndex();
}

NSString NSPopUpButton::itemTitleAtIndex(NSInteger index) const
{
    auto* combo = widgetOf<QComboBox>(this);
    return index >= 0 && index < combo->count() ? ns(combo->itemText(static_cast<int>(index))) : NSString();
}

NSString NSPopUpButton::titleOfSelectedItem() const
{
    return itemTitleAtIndex(indexOfSelectedItem());
}

// -------------------------------------------------------------- NSFormatter
bool NSFormatter::isPartialStringValid(const NSString&, NSString*, NSString*)
{
    return true;
}

NSString NSFormatter::stringForObjectValue(double value)
{
    return shortestText(value);
}

NSString NSNumberFormatter::stringFromNumber(double value) const
{
    if (!std::isfinite(value))
        return shortestText(value);
    // The fewest fraction digits between the limits that show the value
    // rounded to the maximum.
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(m_maximumFractionDigits), value);
    std::string text = buffer;
    size_t dot = text.find('.');
    if (dot != std::string::npos) {
        size_t keep = dot + 1 + m_minimumFractionDigits;
        while (text.size() > keep && text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return NSString(text);
}

// -------------------------------------------------------------- NSTextField
namespace vt::appkit {

// Lets the formatter decide every change the user makes to the text.
class FormatterValidator : public QValidator {
public:
    FormatterValidator(NSFormatter* formatter, QObject* field) : QValidator(field), m_formatter(formatter) {}
    State validate(QString& input, int&) const override
    {
        NSString proposed;
        NSString error;
        return m_formatter->isPartialStringValid(ns(input), &proposed, &error) ? Acceptable : Invalid;
    }

private:
    NSFormatter* m_formatter;
};

struct TextFieldImpl : ViewImpl {
    TextFieldImpl() : ViewImpl(new QLineEdit) {}
    std::unique_ptr<NSFormatter> formatter;
};

} // namespace vt::appkit

NSTextField::NSTextField(NSRect frame) : NSControl(std::make_unique<vt::appkit::TextFieldImpl>())
{
    setFrame(frame);
    auto* field = widgetOf<QLineEdit>(this);
    ViewImpl* d = impl();
    QObject::connect(field, &QLineEdit::editingFinished, [d, field] {
        if (!field->isModified())
            return;
        field->setModified(false);
        d->sendAction();
    });
}

NSString NSTextField::stringValue() const
{
    return ns(widgetOf<QLineEdit>(this)->text());
}

void NSTextField::setStringValue(const NSString& value)
{
    widgetOf<QLineEdit>(this)->setText(qt(value));
}

NSInteger NSTextField::integerValue() const
{
    double value = leadingDouble(stringValue().utf8());
    constexpr double limit = static_cast<double>(std::numeric_limits<NSInteger>::max());
    return static_cast<NSInteger>(std::clamp(std::trunc(value), -limit, limit));
}

void NSTextField::setIntegerValue(NSInteger value)
{
    setStringValue(NSString::stringWithFormat("%ld", value));
}

double NSTextField::doubleValue() const
{
    return leadingDouble(stringValue().utf8());
}

void NSTextField::setDoubleValue(double value)
{
    NSFormatter* f = formatter();
    setStringValue(f != nullptr ? f->stringForObjectValue(value) : shortestText(value));
}

bool NSTextField::isEditable() const
{
    return !widgetOf<QLineEdit>(this)->isReadOnly();
}

void NSTextField::setEditable(bool editable)
{
    auto* field = widgetOf<QLineEdit>(this);
    field->setReadOnly(!editable);
    // A field that cannot be edited looks like a label.
    field->setFrame(editable);
    field->setFocusPolicy(editable ? Qt::StrongFocus : Qt::NoFocus);
    field->setStyleSheet(editable ? QString() : QStringLiteral("QLineEdit { background: transparent; }"));
}

void NSTextField::setFormatter(NSFormatter* formatter)
{
    auto* d = static_cast<vt::appkit::TextFieldImpl*>(impl());
    auto* field = widgetOf<QLineEdit>(this);
    const QValidator* old = field->validator();
    // The field owns its validator; the validator asks the formatter.
    field->setValidator(formatter != nullptr ? new vt::appkit::FormatterValidator(formatter, field) : nullptr);
    delete old;
    d->formatter.reset(formatter);
}

NSFormatter* NSTextField::formatter() const
{
    return static_cast<vt::appkit::TextFieldImpl*>(impl())->formatter.get();
}

// ---------------------------------------------------------------- NSStepper
namespace vt::appkit {

// A spin box reduced to its arrows; every step is one action.
class StepperWidget : public QDoubleSpinBox {
public:
    explicit StepperWidget(ViewImpl* view) : m_view(view)
    {
        setDecimals(9);
        setRange(0, 100);
        setSingleStep(1);
        setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        lineEdit()->setVisible(false);
        setKeyboardTracking(false);
    }
    void stepBy(int steps) override
    {
        QDoubleSpinBox::stepBy(steps);
        m_view->sendAction();
    }

private:
    ViewImpl* m_view;
};

struct StepperImpl : ViewImpl {
    StepperImpl() : ViewImpl(nullptr) { widget = new StepperWidget(this); }
};

} // namespace vt::appkit

NSStepper::NSStepper(NSRect frame) : NSControl(std::make_unique<vt::appkit::StepperImpl>())
{
    setFrame(frame);
}

double NSStepper::doubleValue() const
{
    return widgetOf<QDoubleSpinBox>(this)->value();
}

void NSStepper::setDoubleValue(double value)
{
    widgetOf<QDoubleSpinBox>(this)->setValue(value);
}

NSInteger NSStepper::integerValue() const
{
    return static_cast<NSInteger>(doubleValue());
}

void NSStepper::setIntegerValue(NSInteger value)
{
    setDoubleValue(static_cast<double>(value));
}

double NSStepper::minValue() const
{
    return widgetOf<QDoubleSpinBox>(this)->minimum();
}

void NSStepper::setMinValue(double value)
{
    widgetOf<QDoubleSpinBox>(this)->setMinimum(value);
}

double NSStepper::maxValue() const
{
    return widgetOf<QDoubleSpinBox>(this)->maximum();
}

void NSStepper::setMaxValue(double value)
{
    widgetOf<QDoubleSpinBox>(this)->setMaximum(value);
}

double NSStepper::increment() const
{
    return widgetOf<QDoubleSpinBox>(this)->singleStep();
}

void NSStepper::setIncrement(double value)
{
    widgetOf<QDoubleSpinBox>(this)->setSingleStep(value);
}

// -------------------------------------------------------------- NSTableView
const NSNotificationName NSTableViewSelectionDidChangeNotification = "NSTableViewSelectionDidChangeNotification";

namespace vt::appkit {

// The table's rows as Qt asks for them, answered by the data source each
// time: there is no copy to keep in step.
class DataSourceModel : public QAbstractTableModel {
public:
    explicit DataSourceModel(NSTableView* table) : m_table(table) {}

    int rowCount(const QModelIndex& parent) const override
    {
        if (parent.isValid() || dataSource == nullptr)
            return 0;
        return static_cast<int>(std::max<NSInteger>(dataSource->numberOfRowsInTableView(m_table), 0));
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (dataSource == nullptr || !index.isValid() || index.column() >= static_cast<int>(columns.size()))
            return {};
        if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != kImageRole)
            return {};
        NSTableObjectValue value =
            dataSource->tableViewObjectValueForTableColumn(m_table, columns[index.column()].get(), index.row());
        if (role == Qt::DisplayRole)
            return value.string ? QVariant(QString::fromStdString(value.string.utf8())) : QVariant();
        if (role == kImageRole)
            return QVariant::fromValue(reinterpret_cast<quintptr>(value.image));
        if (value.image == nullptr)
            return {};
        return QPixmap(QString::fromStdString(ViewAccess::imagePath(value.image).utf8()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= static_cast<int>(columns.size()))
            return {};
        return QString::fromStdString(columns[section]->title().utf8());
    }
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void addColumn(NSTableColumn* column)
    {
        int at = static_cast<int>(columns.size());
        beginInsertColumns(QModelIndex(), at, at);
        columns.emplace_back(column);
        endInsertColumns();
    }

    static constexpr int kImageRole = Qt::UserRole + 1; // the NSImage shown
    std::vector<std::unique_ptr<NSTableColumn>> columns;
    NSTableViewDataSource* dataSource = nullptr;
    NSTableViewDelegate* delegate = nullptr;

private:
    NSTableView* m_table;
};

struct TableImpl : ViewImpl {
    TableImpl() : ViewImpl(new QTableView) {}
    std::unique_ptr<DataSourceModel> model;
};

} // namespace vt::appkit

namespace {

vt::appkit::DataSourceModel* modelOf(const NSTableView* table)
{
    return static_cast<vt::appkit::TableImpl*>(ViewAccess::impl(table))->model.get();
}

} // namespace

NSTableView::NSTableView(NSRect frame) : NSControl(std::make_unique<vt::appkit::TableImpl>())
{
    setFrame(frame);
    auto* d = static_cast<vt::appkit::TableImpl*>(impl());
    d->model = std::make_unique<vt::appkit::DataSourceModel>(this);
    auto* view = widgetOf<QTableView>(this);
    view->setModel(d->model.get());
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    vt::appkit::DataSourceModel* model = d->model.get();
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, [this, model] {
        NSNotification notification(NSTableViewSelectionDidChangeNotification, this);
        if (model->delegate != nullptr)
            model->delegate->tableViewSelectionDidChange(&notification);
    });
}

NSTableView::~NSTableView()
{
    // The view lets go of the model before the model goes.
    widgetOf<QTableView>(this)->setModel(nullptr);
}

void NSTableView::addTableColumn(NSTableColumn* column)
{
    modelOf(this)->addColumn(column);
}

std::vector<NSTableColumn*> NSTableView::tableColumns() const
{
    std::vector<NSTableColumn*> columns;
    for (const auto& column : modelOf(this)->columns)
        columns.push_back(column.get());
    return columns;
}

void NSTableView::setDataSource(NSTableViewDataSource* dataSource)
{
    modelOf(this)->dataSource = dataSource;
    reloadData();
}

void NSTableView::setDelegate(NSTableViewDelegate* delegate)
{
    modelOf(this)->delegate = delegate;
}

void NSTableView::reloadData()
{
    // As on macOS the selection survives a reload when its row still exists.
    auto* view = widgetOf<QTableView>(this);
    NSInteger selected = selectedRow();
    const QSignalBlocker block(view->selectionModel());
    modelOf(this)->reset();
    if (selected >= 0 && selected < numberOfRows())
        view->selectRow(static_cast<int>(selected));
}

NSInteger NSTableView::numberOfRows() const
{
    return modelOf(this)->rowCount(QModelIndex());
}

NSInteger NSTableView::selectedRow() const
{
    QModelIndexList rows = widgetOf<QTableView>(this)->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// ---------------------------------------------------------------- NSTabView
NSTabViewItem::NSTabViewItem(const NSString& identifier)
    : m_identifier(identifier), m_label(identifier), m_view(std::make_unique<NSView>())
{
}

NSTabViewItem::~NSTabViewItem() = default;

void NSTabViewItem::setLabel(const NSString& label)
{
    m_label = label;
    QWidget* page = ViewAccess::widget(m_view.get());
    if (auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget() ? page->parentWidget()->parentWidget() : nullptr))
        tabs->setTabText(tabs->indexOf(page), qt(label));
}

NSTabView::NSTabView(NSRect frame) : NSView(std::make_unique<ViewImpl>(new QTabWidget))
{
    setFrame(frame);
}

NSTabView::~NSTabView()
{
    m_items.clear();
    m_removed.clear();
}

void NSTabView::addTabViewItem(NSTabViewItem* item)
{
    if (item == nullptr)
        return;
    m_items.emplace_back(item);
    // Not a subview (the tab view does not own it), but inside this view.
    ViewAccess::impl(item->view())->superview = this;
    widgetOf<QTabWidget>(this)->addTab(ViewAccess::widget(item->view()), qt(item->label()));
}

NSInteger NSTabView::numberOfTabViewItems() const
{
    return static_cast<NSInteger>(m_items.size());
}

NSTabViewItem* NSTabView::tabViewItemAtIndex(NSInteger index) const
{
    return index >= 0 && index < numberOfTabViewItems() ? m_items[static_cast<size_t>(index)].get() : nullptr;
}

void NSTabView::removeTabViewItem(NSTabViewItem* item)
{
    auto it = std::find_if(m_items.begin(), m_items.end(), [item](const auto& i) { return i.get() == item; });
    if (it == m_items.end())
        return;
    auto* tabs = widgetOf<QTabWidget>(this);
    QWidget* page = ViewAccess::widget(item->view());
    tabs->removeTab(tabs->indexOf(page));
    page->hide();
    m_removed.push_back(std::move(*it));
    m_items.erase(it);
}
