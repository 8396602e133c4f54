// The New Pal window: the e-mail address of a pal to add.
#pragma once

#include <QWidget>

class DirectoryModel;
class QLineEdit;

class NewPalDialog : public QWidget
{
    Q_OBJECT
public:
    explicit NewPalDialog(DirectoryModel &model, QWidget *parent = nullptr);

private:
    DirectoryModel &m_model;
    QLineEdit *m_email;
};
