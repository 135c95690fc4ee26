#include "frmImport.h"

#include "Artwork.h"
#include "Fonts.h"
#include "Twips.h"
#include "platform/Shell.h"
#include "widgets/OleColor.h"

#include <QMouseEvent>
#include <QPainter>

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // Taken here: the click must not also reach the window, which closes on clicks.
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

frmImport::frmImport(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Form1"));
    setModal(true);
    m_picture = Artwork::ImportPrompt();
    setFixedSize(TwipsToPixels(6045), TwipsToPixels(3720));

    const QFont font = Fonts::MsSansSerif(8.25);
    lblName = new ClickLabel(QStringLiteral("Name"), this);
    lblName->setObjectName(QStringLiteral("lblName"));
    lblName->setFont(font);
    lblName->move(TwipsPoint(1815, 1095));
    lblName->setMinimumHeight(TwipsToPixels(195));
    lblName->adjustSize();

    lblDescription = new ClickLabel(QStringLiteral("Label1"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setFont(font);
    lblDescription->setGeometry(TwipsRect(1830, 1380, 3810, 660));
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblDescription->setWordWrap(true);

    connect(lblName, &ClickLabel::clicked, this, &frmImport::lblName_Click);
    connect(lblDescription, &ClickLabel::clicked, this, &frmImport::lblDescription_Click);
}

void frmImport::ShowAsLink()
{
    QFont font = lblName->font();
    font.setUnderline(true);
    lblName->setFont(font);
    QPalette pal = lblName->palette();
    pal.setColor(QPalette::WindowText, BgrColor(0x704500));
    lblName->setPalette(pal);
    lblName->setCursor(Qt::PointingHandCursor);
    lblName->adjustSize();
}

void frmImport::Form_Click()
{
    close();
}

void frmImport::lblDescription_Click()
{
    close();
}

void frmImport::lblName_Click()
{
    if (HasURL)
        ShellOpen(AboutURL);
    else
        close();
}

void frmImport::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, m_picture);
}

void frmImport::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Form_Click();
}

void frmImport::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the owner, as the host centres its own prompt.
    if (QWidget* owner = parentWidget())
        move(owner->geometry().center() - rect().center());
}
