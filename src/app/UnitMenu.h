#pragma once

#include "issue/SheetIssue.h"

#include <QMainWindow>

#include <memory>
#include <vector>

class QAction;
class QMenu;

namespace bolaris {

class CardStore;
class ColoursPanel;
class DrawPanel;
class WebServer;
class DrawState;
class FewestPointsTable;
class SoundPlayer;
class ExportPanel;
class IssuePanel;
class Prompter;
class ValidationPanel;
class ValidationRegistry;
class PreviewHost;
class ColourChooser;

// The main window: the background picture, the five mode panels and the main
// menu that switches between them.
class TFormMenu : public QMainWindow {
    Q_OBJECT
public:
    // How much the constructor makes: the whole window, or the window as it
    // first shows (title, menu and background), the rest (panels, registry,
    // the other windows) as soon as it has been painted.
    enum class Start { Whole, AfterFirstPaint };

    // workDir is the working folder of every data file; prompter answers the
    // window's messages and outlives it.
    TFormMenu(const QString &workDir, Prompter &prompter, QWidget *parent = nullptr, Start start = Start::Whole);
    ~TFormMenu() override;
    // Makes what the constructor left for later: the panels, the registry
    // opened and checked, the other windows. Once; every handler calls it
    // first, so nothing uses them before.
    void completeStart();
    bool isStarted() const { return m_started; }
    // The first show puts the window's frame, title bar included, at the
    // screen's top-left corner.
    void setVisible(bool visible) override;

    const QString &workDir() const { return m_workDir; }
    CardStore &cardStore() { return *m_store; }
    ValidationRegistry &registry() { return *m_registry; }
    SheetIssue &sheets() { return *m_sheets; }
    // What "Celulares" serves the draw through (benchmarks set its limits).
    WebServer &webServer() { return *m_web; }
    // Replaces how previews are shown (tests); the window owns it.
    void setPreviewHost(std::unique_ptr<PreviewHost> host);
    void setColourChooser(std::unique_ptr<ColourChooser> chooser);
    Prompter &prompter() { return m_prompter; }
    // The report forms and the winners window, in the order they were created.
    const std::vector<QObject *> &otherWindows() const { return m_windows; }
    const ReportForms &reportForms() const { return m_forms; }

    // Handlers.
    void FormActivate();
    void FormClose();
    void MenuEmissaoClick();
    void MenuValidacaoClick();
    void MenuCoresClick();
    void MenuSorteioClick();
    void Exportaodobancodedados1Click();
    void MenuSairClick();
    void ButtonCancelaClick();
    void ButtonSaiValClick();
    void ButtonOKCoresClick();
    void ButtonSairClick();
    void ButtonSaiGClick();

Q_SIGNALS:
    void closed();
    // What the constructor left for later has been made (completeStart).
    void started();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void openRegistry();
    void createOtherWindows();
    void buildMenu();
    void setMenuShown(bool shown);
    void enterMode(QWidget *panel);
    void leaveMode(QWidget *panel);
    // Whether the Export panel, shown above the mode panels, covers w.
    bool underExport(const QWidget *w) const;
    // Moves the keyboard out of a box the Export panel hides (see the .cpp).
    void keepFocusInSight(QWidget *panel);

    QString m_workDir;
    Prompter &m_prompter;
    std::unique_ptr<CardStore> m_store;
    std::unique_ptr<ValidationRegistry> m_registry;
    std::unique_ptr<SheetIssue> m_sheets;
    std::unique_ptr<DrawState> m_drawState;
    std::unique_ptr<FewestPointsTable> m_fewest;
    std::unique_ptr<SoundPlayer> m_sound;
    std::unique_ptr<PreviewHost> m_previews;
    std::unique_ptr<ColourChooser> m_colourChooser;
    QWidget *m_client = nullptr;
    ValidationPanel *m_validation = nullptr;
    IssuePanel *m_issue = nullptr;
    ColoursPanel *m_colours = nullptr;
    DrawPanel *m_draw = nullptr;
    std::unique_ptr<WebServer> m_web; // the draw for the hall's phones and TVs
    ExportPanel *m_export = nullptr;
    QAction *m_menuEmissao = nullptr;
    QAction *m_menuValidacao = nullptr;
    QMenu *m_menuOpcoes = nullptr;
    QAction *m_menuCores = nullptr;
    QAction *m_menuSorteio = nullptr;
    QAction *m_menuSair = nullptr;
    std::vector<QObject *> m_windows;
    ReportForms m_forms;
    bool m_closed = false;
    bool m_framePlaced = false;
    bool m_started = false;
    QWidget *m_image = nullptr; // the background, whose first paint completes the start
};

} // namespace bolaris
