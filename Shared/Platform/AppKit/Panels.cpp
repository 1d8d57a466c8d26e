// Alerts, open and save panels and Core Foundation notices, all shown
// through one presenter: Qt's own dialogs unless a test installed the
// scripted user.
#include "AppKitPrivate.h"

#include <QtGui/QGuiApplication>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>

#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace vt::appkit {

namespace {

QString qt(const NSString& text)
{
    return QString::fromStdString(text.utf8());
}

// Tests run on the offscreen platform, where nobody can answer a dialog: a
// modal that reaches Qt there ends the program at once instead of hanging it.
void refuseModalOffscreen(const char* what, const std::string& text)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        return;
    std::fprintf(stderr, "A modal %s (\"%s\") was shown on the offscreen platform with no scripted user to answer it\n",
                 what, text.c_str());
    std::abort();
}

class QtPresenter final : public ModalPresenter {
public:
    NSModalResponse runAlert(const AlertRequest& request) override
    {
        refuseModalOffscreen("alert", request.messageText.utf8());
        QMessageBox box;
        box.setIcon(request.style == NSAlertStyleCritical        ? QMessageBox::Critical
                    : request.style == NSAlertStyleInformational ? QMessageBox::Information
                                                                 : QMessageBox::Warning);
        box.setText(qt(request.messageText));
        box.setInformativeText(qt(request.informativeText));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return NSAlertFirstButtonReturn;
    }

    PanelAnswer runPanel(const PanelRequest& request) override
    {
        refuseModalOffscreen(request.kind == PanelKind::save ? "save panel" : "open panel",
                             request.nameFieldStringValue.utf8());
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (request.directoryURL)
            dialog.setDirectory(qt(request.directoryURL.path()));
        if (!request.allowedFileTypes.empty()) {
            QStringList patterns;
            for (const NSString& type : request.allowedFileTypes)
                patterns << QStringLiteral("*.") + qt(type);
            dialog.setNameFilter(QStringLiteral("(%1)").arg(patterns.join(QLatin1Char(' '))));
        }
        if (request.kind == PanelKind::save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            if (request.nameFieldStringValue)
                dialog.selectFile(qt(request.nameFieldStringValue));
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(request.canChooseDirectories && !request.canChooseFiles ? QFileDialog::Directory
                               : request.allowsMultipleSelection                       ? QFileDialog::ExistingFiles
                                                                                       : QFileDialog::ExistingFile);
        }
        PanelAnswer answer;
        if (dialog.exec() != QDialog::Accepted)
            return answer;
        answer.response = NSModalResponseOK;
        for (const QString& file : dialog.selectedFiles())
            answer.chosen.push_back(NSURL::fileURLWithPath(NSString(file.toStdString())));
        return answer;
    }

    CFOptionFlags presentNotice(const vt::platform::Notice& notice) override
    {
        QMessageBox::Icon icon = notice.level == kCFUserNotificationStopAlertLevel      ? QMessageBox::Critical
                                 : notice.level == kCFUserNotificationCautionAlertLevel ? QMessageBox::Warning
                                 : notice.level == kCFUserNotificationNoteAlertLevel    ? QMessageBox::Information
                                                                                        : QMessageBox::NoIcon;
        if (!notice.waitsForAnswer) {
            // A notice does not wait: it stays on screen until dismissed.
            auto* box =
                new QMessageBox(icon, QString::fromStdString(notice.header), QString::fromStdString(notice.message));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->addButton(QString::fromStdString(notice.button.empty() ? std::string("OK") : notice.button),
                           QMessageBox::AcceptRole);
            box->setModal(false);
            box->show();
            return kCFUserNotificationDefaultResponse;
        }
        refuseModalOffscreen("notification", notice.message);
        QMessageBox box(icon, QString::fromStdString(notice.header), QString::fromStdString(notice.message));
        box.setText(QString::fromStdString(notice.header));
        box.setInformativeText(QString::fromStdString(notice.message));
        QAbstractButton* defaultButton = box.addButton(QString::fromStdString(notice.button), QMessageBox::AcceptRole);
        QAbstractButton* alternate =
            notice.alternateButton.empty()
                ? nullptr
                : box.addButton(QString::fromStdString(notice.alternateButton), QMessageBox::RejectRole);
        QAbstractButton* other = notice.otherButton.empty() ? nullptr
                                                            : box.addButton(QString::fromStdString(notice.otherButton),
                                                                            QMessageBox::ActionRole);
        box.setDefaultButton(static_cast<QPushButton*>(defaultButton));
        box.exec();
        QAbstractButton* clicked = box.clickedButton();
        if (clicked == defaultButton)
            return kCFUserNotificationDefaultResponse;
        if (clicked != nullptr && clicked == alternate)
            return kCFUserNotificationAlternateResponse;
        if (clicked != nullptr && clicked == other)
            return kCFUserNotificationOtherResponse;
        return kCFUserNotificationCancelResponse;
    }
};

ModalPresenter* installedPresenter = nullptr;

} // namespace

void setModalPresenter(ModalPresenter* presenter)
{
    installedPresenter = presenter;
}

ModalPresenter& presenter()
{
    static QtPresenter qtPresenter;
    return installedPresenter != nullptr ? *installedPresenter : qtPresenter;
}

// The macOS save panel appends the first allowed extension to a name that
// has none of them.
NSURL withAllowedExtension(const NSURL& chosen, const std::vector<NSString>& allowedFileTypes)
{
    if (!chosen || allowedFileTypes.empty())
        return chosen;
    NSString extension = chosen.pathExtension();
    for (const NSString& type : allowedFileTypes)
        if (strcasecmp(type.utf8().c_str(), extension.utf8().c_str()) == 0)
            return chosen;
    return NSURL::fileURLWithPath(NSString(chosen.path().utf8() + "." + allowedFileTypes.front().utf8()));
}

// Shows a panel through the presenter, with user input going to it.
PanelAnswer runPanel(const PanelRequest& request)
{
    ensureApplication();
    ModalScope modal;
    return presenter().runPanel(request);
}

} // namespace vt::appkit

NSModalResponse NSAlert::runModal()
{
    vt::appkit::ensureApplication();
    vt::appkit::ModalScope modal;
    return vt::appkit::presenter().runAlert({m_messageText, m_informativeText, m_style});
}

NSModalResponse NSSavePanel::runModal()
{
    vt::appkit::PanelRequest request;
    request.kind = vt::appkit::PanelKind::save;
    request.allowedFileTypes = m_allowedFileTypes;
    request.nameFieldStringValue = m_nameFieldStringValue;
    request.directoryURL = m_directoryURL;
    vt::appkit::PanelAnswer answer = vt::appkit::runPanel(request);
    m_chosen.clear();
    if (answer.response != NSModalResponseOK || answer.chosen.empty())
        return NSModalResponseCancel;
    m_chosen.push_back(vt::appkit::withAllowedExtension(answer.chosen.front(), m_allowedFileTypes));
    return NSModalResponseOK;
}

NSURL NSSavePanel::URL() const
{
    return m_chosen.empty() ? NSURL() : m_chosen.front();
}

NSModalResponse NSOpenPanel::runModal()
{
    vt::appkit::PanelRequest request;
    request.kind = vt::appkit::PanelKind::open;
    request.allowedFileTypes = m_allowedFileTypes;
    request.directoryURL = m_directoryURL;
    request.canChooseFiles = m_canChooseFiles;
    request.canChooseDirectories = m_canChooseDirectories;
    request.allowsMultipleSelection = m_allowsMultipleSelection;
    vt::appkit::PanelAnswer answer = vt::appkit::runPanel(request);
    m_chosen.clear();
    if (answer.response != NSModalResponseOK || answer.chosen.empty())
        return NSModalResponseCancel;
    m_chosen = answer.chosen;
    if (!m_allowsMultipleSelection)
        m_chosen.resize(1);
    return NSModalResponseOK;
}
