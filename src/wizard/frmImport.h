#pragma once

#include <QDialog>
#include <QLabel>

// A label that reports clicks; the preview's name and description react to them.
class ClickLabel final : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The preview: a borderless picture of the host's import prompt with the
// script's name and description written into its empty fields.
class frmImport final : public QDialog
{
    Q_OBJECT
public:
    explicit frmImport(QWidget* owner);

    // Underlines the name in the link colour; done only when an About URL is given.
    void ShowAsLink();

    void Form_Click();
    void lblDescription_Click();
    void lblName_Click();

    bool HasURL = false;
    QString AboutURL;
    ClickLabel* lblName = nullptr;
    ClickLabel* lblDescription = nullptr;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QImage m_picture;
};
