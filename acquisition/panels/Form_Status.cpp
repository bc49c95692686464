#include "Form_Status.h"

#include "Form_SampleControl.h"
#include "ui_Form_Status.h"

namespace {

QString greyCaption(const QString& text)
{
    return QStringLiteral("<font size=\"2\" color=\"#707070\">%1</font>").arg(text);
}

} // namespace

Form_Status::Form_Status(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::Form_Status)
{
    ui->setupUi(this);
    ui->ProgressMax->setText(QString::number(0));
    ui->ProgressCur->hide();
    ui->ProgressMax->hide();

    ui->label_PL->setText(greyCaption(QStringLiteral("频率")));
    ui->label_DJ->setText(greyCaption(QStringLiteral("叠加")));
    ui->label_CF->setText(greyCaption(QStringLiteral("重复")));
    ui->label_DL->setText(greyCaption(QStringLiteral("电流")));
    ui->label_GD->setText(greyCaption(QStringLiteral("关断")));
    ui->label_QY->setText(greyCaption(QStringLiteral("启用")));

    connect(ui->btn_DeviceCon, &QPushButton::clicked, this, [this] {
        ui->btn_DeviceCon->hide();
        emit clickBtnConnect();
    });
    connect(ui->btn_DeviceClose, &QPushButton::clicked, this, [this] {
        // The same question as the discard button: the sounding goes with
        // the links, and "no" leaves links, sounding and buttons as they are.
        if (mayDropSounding())
            disconnectPressed();
    });
    connect(ui->ProgressCur, &QLineEdit::textChanged, this, &Form_Status::changeProgressCur);
    connect(ui->ProgressMax, &QLineEdit::textChanged, this, &Form_Status::changeProgressMax);
    connect(ui->USE_checkBox, &QCheckBox::clicked, this, &Form_Status::useChanged);
}

Form_Status::~Form_Status()
{
    delete ui;
}

void Form_Status::clickConnect(bool connect)
{
    // QAbstractButton::click() acts on hidden buttons too.
    if (connect)
        ui->btn_DeviceCon->click();
    else
        disconnectPressed();
}

void Form_Status::setSoundingHeld(std::function<bool()> held)
{
    soundingHeld = std::move(held);
}

bool Form_Status::mayDropSounding()
{
    return !soundingHeld || !soundingHeld() || ConfirmDropSounding(this);
}

void Form_Status::disconnectPressed()
{
    ui->btn_DeviceCon->show();
    emit clickBtnDisconn();
}

void Form_Status::onUse(bool use)
{
    ui->USE_checkBox->setChecked(use);
}

bool Form_Status::takeMaximum(const QString& text)
{
    bool ok = false;
    progressMax = text.toInt(&ok, 10);
    if (ok && progressMax > 0)
        return true;
    ui->Sample_progressBar->setMaximum(100);
    ui->Sample_progressBar->setValue(0);
    ui->Sample_progressBar->setEnabled(false);
    return false;
}

void Form_Status::changeProgressMax(QString text)
{
    if (!takeMaximum(text))
        return;
    ui->Sample_progressBar->setMaximum(progressMax);
    ui->Sample_progressBar->setValue(0);
    ui->Sample_progressBar->setEnabled(true);
}

void Form_Status::changeProgressCur(QString text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        ui->Sample_progressBar->setValue(value);
    takeMaximum(ui->ProgressMax->text());
}
