#include "VTScriptedUser.h"

#include "../../AppKit/AppKitPrivate.h"

#include <gtest/gtest.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtGui/QKeySequence>
#include <QtGui/QMouseEvent>
#include <QtTest/qtestkeyboard.h>
#include <QtTest/qtestspontaneevent.h>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QTabWidget>
#include <QtWidgets/QTableView>

#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <filesystem>

// LeakSanitizer: fontconfig keeps its configuration caches and libdbus (Qt's
// X11 platform talks to the session bus) its connection data for the whole
// process by design; nothing outside these system libraries is excused.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace vt::testing {

namespace {

// Window tests start Qt with scratch desktop folders: Qt writes its caches
// and runtime files there, never in the real home or /tmp. Qt is started on
// the offscreen platform unless the test program chose another one.
struct ScratchDesktop {
    ScratchDesktop()
    {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0')
            return;
        std::filesystem::path root = std::filesystem::path(home) / "desktop";
        for (auto [variable, folder] : {std::pair{"XDG_CONFIG_HOME", "config"}, std::pair{"XDG_CACHE_HOME", "cache"},
                                        std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_RUNTIME_DIR", "runtime"}}) {
            std::filesystem::path path = root / folder;
            std::error_code error;
            std::filesystem::create_directories(path, error);
            setenv(variable, path.c_str(), 1);
        }
        chmod((root / "runtime").c_str(), 0700);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
};
const ScratchDesktop scratchDesktop;

using Kind = ShownModal::Kind;

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::alert:
        return "an alert";
    case Kind::openPanel:
        return "an open panel";
    case Kind::savePanel:
        return "a save panel";
    case Kind::notification:
        return "a notification alert";
    case Kind::notice:
        return "a notice";
    }
    return "a modal";
}

struct Answer {
    enum class For { alert, panel, notification };
    explicit Answer(For t = For::alert, bool yes = true, std::vector<std::string> chosen = {})
        : target(t), confirm(yes), paths(std::move(chosen))
    {
    }
    For target;
    bool confirm;
    std::vector<std::string> paths;
    CFOptionFlags response = kCFUserNotificationDefaultResponse;
};

std::vector<std::string> texts(const std::vector<NSString>& list)
{
    std::vector<std::string> out;
    for (const NSString& s : list)
        out.push_back(s.utf8());
    return out;
}

// Sends one key event as the window system delivers it: menu key
// equivalents get the first chance, then the focused widget.
bool sendKey(QWidget* window, bool press, const std::string& name)
{
    QKeySequence sequence = QKeySequence::fromString(QString::fromStdString(name), QKeySequence::PortableText);
    if (sequence.isEmpty()) {
        ADD_FAILURE() << "\"" << name << "\" names no key";
        return false;
    }
    QKeyCombination combination = sequence[0];
    Qt::Key key = combination.key();
    Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QString text;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        text = QChar((modifiers & Qt::ShiftModifier) ? 'A' + (key - Qt::Key_A) : 'a' + (key - Qt::Key_A));
    else if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        text = QChar(static_cast<char16_t>(key));
    else if (key == Qt::Key_Return || key == Qt::Key_Enter)
        text = QStringLiteral("\r");
    else if (key == Qt::Key_Tab)
        text = QStringLiteral("\t");
    else if (key == Qt::Key_Escape)
        text = QString(QChar(27));
    else if (key == Qt::Key_Backspace)
        text = QString(QChar(8));
    QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, modifiers, text);
    QSpontaneKeyEvent::setSpontaneous(&event);
    if (press && qt_sendShortcutOverrideEvent(target, event.timestamp(), key, modifiers, text))
        return true;
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

void typeCharacter(QWidget* target, QChar character)
{
    int key = character.toUpper().unicode();
    for (bool press : {true, false}) {
        QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier, QString(character));
        QSpontaneKeyEvent::setSpontaneous(&event);
        QApplication::sendEvent(target, &event);
    }
}

void pressReturn(QWidget* target)
{
    for (bool press : {true, false}) {
        QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier,
                        QStringLiteral("\r"));
        QSpontaneKeyEvent::setSpontaneous(&event);
        QApplication::sendEvent(target, &event);
    }
}

} // namespace

struct ScriptedUser::State final : vt::appkit::ModalPresenter {
    std::deque<Answer> answers;
    std::vector<ShownModal> shown;
    int microphoneBaseline = 0;

    // The next answer when it is of the kind asked for; a failure otherwise.
    bool take(Answer::For target, Kind kind, const std::string& text, Answer& answer)
    {
        if (answers.empty()) {
            ADD_FAILURE() << kindName(kind) << " (\"" << text << "\") was shown with no queued answer";
            return false;
        }
        if (answers.front().target != target) {
            ADD_FAILURE() << kindName(kind) << " (\"" << text << "\") was shown where the test expected another modal";
            answers.pop_front();
            return false;
        }
        answer = answers.front();
        answers.pop_front();
        return true;
    }

    NSModalResponse runAlert(const vt::appkit::AlertRequest& request) override
    {
        ShownModal modal;
        modal.kind = Kind::alert;
        modal.messageText = request.messageText.utf8();
        modal.informativeText = request.informativeText.utf8();
        modal.style = request.style;
        modal.buttons = {"OK"};
        shown.push_back(modal);
        Answer answer;
        take(Answer::For::alert, modal.kind, modal.messageText + "\" / \"" + modal.informativeText, answer);
        return NSAlertFirstButtonReturn;
    }

    vt::appkit::PanelAnswer runPanel(const vt::appkit::PanelRequest& request) override
    {
        ShownModal modal;
        modal.kind = request.kind == vt::appkit::PanelKind::save ? Kind::savePanel : Kind::openPanel;
        modal.allowedFileTypes = texts(request.allowedFileTypes);
        modal.nameFieldStringValue = request.nameFieldStringValue.utf8();
        modal.directory = request.directoryURL.path().utf8();
        shown.push_back(modal);
        vt::appkit::PanelAnswer result;
        Answer answer;
        if (!take(Answer::For::panel, modal.kind, modal.nameFieldStringValue, answer) || !answer.confirm)
            return result;
        result.response = NSModalResponseOK;
        for (const std::string& path : answer.paths)
            result.chosen.push_back(NSURL::fileURLWithPath(NSString(path)));
        return result;
    }

    CFOptionFlags presentNotice(const vt::platform::Notice& notice) override
    {
        ShownModal modal;
        modal.kind = notice.waitsForAnswer ? Kind::notification : Kind::notice;
        modal.messageText = notice.header;
        modal.informativeText = notice.message;
        modal.level = notice.level;
        for (const std::string* button : {&notice.button, &notice.alternateButton, &notice.otherButton})
            if (!button->empty())
                modal.buttons.push_back(*button);
        shown.push_back(modal);
        if (!notice.waitsForAnswer)
            return kCFUserNotificationDefaultResponse;
        Answer answer;
        if (!take(Answer::For::notification, modal.kind, notice.header + "\" / \"" + notice.message, answer))
            return kCFUserNotificationCancelResponse;
        return answer.response;
    }
};

ScriptedUser::ScriptedUser() : m_state(std::make_unique<State>())
{
    vt::appkit::ensureApplication();
    m_state->microphoneBaseline = vt::appkit::microphoneState().requests.load();
    vt::appkit::setModalPresenter(m_state.get());
}

ScriptedUser::~ScriptedUser()
{
    vt::appkit::setModalPresenter(nullptr);
    vt::appkit::microphoneState().granted = true;
    vt::appkit::mediaAssetClassPresent() = true;
    EXPECT_EQ(m_state->answers.size(), 0u) << "answers were queued for modals that never came";
}

void ScriptedUser::pressAlertButton()
{
    m_state->answers.emplace_back(Answer::For::alert);
}

void ScriptedUser::chooseInOpenPanel(std::vector<std::string> paths)
{
    m_state->answers.emplace_back(Answer::For::panel, true, std::move(paths));
}

void ScriptedUser::chooseInSavePanel(const std::string& path)
{
    m_state->answers.emplace_back(Answer::For::panel, true, std::vector<std::string>{path});
}

void ScriptedUser::cancelPanel()
{
    m_state->answers.emplace_back(Answer::For::panel, false);
}

void ScriptedUser::answerNotification(CFOptionFlags response)
{
    Answer answer(Answer::For::notification);
    answer.response = response;
    m_state->answers.push_back(answer);
}

size_t ScriptedUser::unusedAnswers() const
{
    return m_state->answers.size();
}

const std::vector<ShownModal>& ScriptedUser::shown() const
{
    return m_state->shown;
}

void ScriptedUser::forgetShown()
{
    m_state->shown.clear();
}

bool ScriptedUser::click(NSButton* button)
{
    auto* widget = static_cast<QAbstractButton*>(vt::appkit::ViewAccess::widget(button));
    if (!widget->isEnabled())
        return false;
    widget->click();
    return true;
}

bool ScriptedUser::choose(NSPopUpButton* popUp, NSInteger index)
{
    auto* combo = static_cast<QComboBox*>(vt::appkit::ViewAccess::widget(popUp));
    if (!combo->isEnabled() || index < 0 || index >= combo->count())
        return false;
    combo->setCurrentIndex(static_cast<int>(index));
    Q_EMIT combo->activated(static_cast<int>(index));
    return true;
}

std::string ScriptedUser::type(NSTextField* field, const std::string& text)
{
    auto* edit = static_cast<QLineEdit*>(vt::appkit::ViewAccess::widget(field));
    if (edit->isEnabled() && !edit->isReadOnly()) {
        edit->setFocus();
        edit->selectAll();
        for (QChar character : QString::fromStdString(text))
            typeCharacter(edit, character);
        pressReturn(edit);
    }
    return edit->text().toStdString();
}

bool ScriptedUser::step(NSStepper* stepper, int steps)
{
    auto* spin = static_cast<QDoubleSpinBox*>(vt::appkit::ViewAccess::widget(stepper));
    if (!spin->isEnabled())
        return false;
    for (int i = 0; i < std::abs(steps); ++i)
        spin->stepBy(steps > 0 ? 1 : -1);
    return true;
}

bool ScriptedUser::selectRow(NSTableView* table, NSInteger row)
{
    auto* view = static_cast<QTableView*>(vt::appkit::ViewAccess::widget(table));
    if (!view->isEnabled() || row < 0 || row >= table->numberOfRows())
        return false;
    view->selectRow(static_cast<int>(row));
    return true;
}

TableCell ScriptedUser::cell(NSTableView* table, NSInteger row, const std::string& columnIdentifier)
{
    TableCell cell;
    std::vector<NSTableColumn*> columns = table->tableColumns();
    auto column = std::find_if(columns.begin(), columns.end(),
                               [&](NSTableColumn* c) { return c->identifier().utf8() == columnIdentifier; });
    if (column == columns.end()) {
        ADD_FAILURE() << "the table has no column \"" << columnIdentifier << "\"";
        return cell;
    }
    QAbstractItemModel* model = static_cast<QTableView*>(vt::appkit::ViewAccess::widget(table))->model();
    QModelIndex index = model->index(static_cast<int>(row), static_cast<int>(column - columns.begin()));
    cell.text = model->data(index, Qt::DisplayRole).toString().toStdString();
    constexpr int kImageRole = Qt::UserRole + 1;
    if (auto* image = reinterpret_cast<NSImage*>(model->data(index, kImageRole).value<quintptr>()))
        cell.imageName = image->name().utf8();
    return cell;
}

std::vector<std::string> ScriptedUser::tabLabels(NSTabView* tabView)
{
    auto* tabs = static_cast<QTabWidget*>(vt::appkit::ViewAccess::widget(tabView));
    std::vector<std::string> labels;
    for (int i = 0; i < tabs->count(); ++i)
        labels.push_back(tabs->tabText(i).toStdString());
    return labels;
}

bool ScriptedUser::chooseMenuItem(NSMenuItem* item)
{
    QAction* action = vt::appkit::ViewAccess::impl(item)->action;
    if (!action->isEnabled())
        return false;
    action->trigger();
    return true;
}

namespace {

// A user types into the key window: make it key first.
QWidget* keyWindowWidget(NSWindow* window, ScriptedUser& user)
{
    QWidget* widget = vt::appkit::ViewAccess::widget(window);
    if (!window->isVisible())
        ADD_FAILURE() << "keys sent to a window that is not on screen";
    window->makeKeyWindow();
    if (window->canBecomeKeyWindow() && !user.runUntil([window] { return window->isKeyWindow(); }))
        ADD_FAILURE() << "the window did not become key";
    return widget;
}

} // namespace

bool ScriptedUser::keyDown(NSWindow* window, const std::string& key)
{
    return sendKey(keyWindowWidget(window, *this), true, key);
}

bool ScriptedUser::keyUp(NSWindow* window, const std::string& key)
{
    return sendKey(keyWindowWidget(window, *this), false, key);
}

void ScriptedUser::postClick(NSButton* button)
{
    QWidget* widget = vt::appkit::ViewAccess::widget(button);
    QPointF center = QRectF(widget->rect()).center();
    QPointF global = widget->mapToGlobal(center);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QCoreApplication::postEvent(widget,
                                    new QMouseEvent(type, center, global, Qt::LeftButton, held, Qt::NoModifier));
    }
}

bool ScriptedUser::runUntil(const std::function<bool()>& condition, double timeoutSeconds)
{
    if (condition())
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    bool met = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        met = condition();
        if (met || elapsed.elapsed() > static_cast<qint64>(timeoutSeconds * 1000.0))
            loop.quit();
    });
    poll.start();
    loop.exec();
    return met;
}

void ScriptedUser::runFor(double seconds)
{
    QElapsedTimer elapsed;
    elapsed.start();
    runUntil([&] { return elapsed.elapsed() >= static_cast<qint64>(seconds * 1000.0); }, seconds + 1.0);
}

void ScriptedUser::setMicrophoneAccess(bool granted)
{
    vt::appkit::microphoneState().granted = granted;
}

int ScriptedUser::microphoneRequests() const
{
    return vt::appkit::microphoneState().requests.load() - m_state->microphoneBaseline;
}

void ScriptedUser::setMediaAssetClassPresent(bool present)
{
    vt::appkit::mediaAssetClassPresent() = present;
}

} // namespace vt::testing
