#include "Form_SampleControl.h"

#include "Prompt.h"
#include "ui_Form_SampleControl.h"

#include <QDoubleValidator>
#include <QLocale>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

const double kTransmitFrequencies[] = {0.1, 0.125, 0.25, 0.625, 1, 1.25, 2.5, 6.25, 12.5, 25, 62.5};
const double kDeveloperFrequency = 100;

QString frequencyText(double v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

Form_SampleControl::Form_SampleControl(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::Form_SampleControl)
{
    ui->setupUi(this);
    ui->SampleStatus->hide();

    ui->LineNo->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^-?[1-9]\\d{0,6}$|^0$")), this));
    auto* pointNo = new QDoubleValidator(-99999999, 99999999, 1, this);
    // The binding reads the edited number in the C locale; a validator in
    // the system's locale would let "1,5" through to be written back as 0.
    QLocale numbers = QLocale::c();
    numbers.setNumberOptions(QLocale::RejectGroupSeparator);
    pointNo->setLocale(numbers);
    ui->PointNo->setValidator(pointNo);
    ui->PointNo->setPlaceholderText(QStringLiteral("小数点后最多1位"));
    const QRegularExpression count(QStringLiteral("^[1-9]\\d{0,4}$"));
    ui->ParamPeriod->setValidator(new QRegularExpressionValidator(count, this));
    ui->ParamRepeat->setValidator(new QRegularExpressionValidator(count, this));

    for (double fs : kTransmitFrequencies)
        ui->ParamFs->addItem(frequencyText(fs), fs);

    for (QLineEdit* edit : {ui->LineNo, ui->PointNo, ui->ParamPeriod, ui->ParamRepeat})
        edit->setInputMethodHints(Qt::ImhDigitsOnly);
    ui->ContinueMode->setEnabled(false);

    connect(ui->SampleStatus, &QComboBox::currentTextChanged, this, &Form_SampleControl::changeSampleStatus);
    connect(ui->ContinueMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Form_SampleControl::onContinueModeIndexChanged);
    connect(ui->pushButton_Start, &QPushButton::clicked, this, &Form_SampleControl::onBtnStartClicked);
    connect(ui->pushButton_SaveOK, &QPushButton::clicked, this, &Form_SampleControl::clickBtnSaveOK);
    connect(ui->pushButton_Stop, &QPushButton::clicked, this, &Form_SampleControl::confirmStop);
    connect(ui->pushButton_SaveCancel, &QPushButton::clicked, this, &Form_SampleControl::confirmSaveCancel);
    connect(ui->LineNo, &QLineEdit::editingFinished, this, &Form_SampleControl::onEditingFinished);
    for (QLineEdit* edit : {ui->LineNo, ui->PointNo, ui->ParamPeriod, ui->ParamRepeat})
        connect(edit, &QLineEdit::textChanged, this, &Form_SampleControl::onTextChanged);

    developerMode(false);
}

Form_SampleControl::~Form_SampleControl()
{
    // Closing the window takes the focus from an edit only after this part
    // of the panel is gone; that edit's editing-finished must not reach it.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
    delete ui;
}

void Form_SampleControl::onLoad_Param(double SendFs, int SendPeriod, int ContinueMode)
{
    Q_UNUSED(ContinueMode)
    ui->ParamFs->setCurrentText(frequencyText(SendFs));
    ui->ParamPeriod->setText(QString::number(SendPeriod));
    ui->ParamFs->setEnabled(false);
    ui->ContinueMode->setEnabled(false);
    lineIsNew = false;
}

void Form_SampleControl::onChangeLine(bool isNewLine)
{
    if (isNewLine)
        ui->ContinueMode->setCurrentIndex(0);
    ui->ParamFs->setEnabled(isNewLine);
    ui->ContinueMode->setEnabled(isNewLine);
    lineIsNew = isNewLine;
}

void Form_SampleControl::developerMode(bool isOpen)
{
    ui->label_ContinueMode->setVisible(isOpen);
    ui->ContinueMode->setVisible(isOpen);
    if (isOpen)
        addFs(kDeveloperFrequency);
}

void Form_SampleControl::addFs(double v)
{
    QComboBox* list = ui->ParamFs;
    for (int i = 0; i < list->count(); ++i)
        if (list->itemData(i).toDouble() == v)
            return;
    int at = 0;
    while (at < list->count() && list->itemData(at).toDouble() < v)
        ++at;
    list->insertItem(at, frequencyText(v), v);
}

void Form_SampleControl::changeSampleStatus(QString status)
{
    const bool running = status == QLatin1String("SAMPLING") || status == QLatin1String("SETPARAM");
    const bool kept = status == QLatin1String("UPLOAD") || status == QLatin1String("SAVING");
    const bool idle = status == QLatin1String("IDLE");

    setEnabled(running || kept || idle);
    if (running || idle) {
        ui->LineNo->setEnabled(idle);
        ui->PointNo->setEnabled(idle);
    }
    ui->pushButton_Start->setVisible(!running && !kept);
    ui->pushButton_Stop->setVisible(running);
    ui->pushButton_SaveOK->setVisible(kept);
    ui->pushButton_SaveCancel->setVisible(kept);
    // A sounding that ended without a stored point (cancelled, dropped,
    // ended in red) leaves a new line new: its frequency and mode are open
    // again, the point number as it was.
    if (idle && lineIsNew) {
        ui->ParamFs->setEnabled(true);
        ui->ContinueMode->setEnabled(true);
    }
}

void Form_SampleControl::confirmStop()
{
    if (Prompt::current()->question(this, QStringLiteral("停止采集"), QStringLiteral("请确认停止当前采集！")))
        emit clickBtnStop();
}

bool ConfirmDropSounding(QWidget* parent)
{
    return Prompt::current()->question(parent, QStringLiteral("停止采集"), QStringLiteral("请确认取消保存！"));
}

void Form_SampleControl::confirmSaveCancel()
{
    if (ConfirmDropSounding(this))
        emit clickBtnSaveCancel();
}

void Form_SampleControl::onEditingFinished()
{
    bool ok = false;
    const double line = ui->LineNo->text().toDouble(&ok);
    if (ok)
        emit lineNoChanged(line);
    else
        Prompt::current()->warning(this, QStringLiteral("错误"), QStringLiteral("线号请输入数字！"));
}

void Form_SampleControl::onTextChanged()
{
    bool filled = true;
    for (const QLineEdit* edit : {ui->LineNo, ui->PointNo, ui->ParamPeriod, ui->ParamRepeat})
        filled = filled && !edit->text().isEmpty();
    ui->pushButton_Start->setEnabled(filled);
}

void Form_SampleControl::changeContinueMode(int index)
{
    const bool towed = index == 1;
    for (QWidget* w : {static_cast<QWidget*>(ui->label_PointNo), static_cast<QWidget*>(ui->PointNo),
                       static_cast<QWidget*>(ui->label_ParamRepeat), static_cast<QWidget*>(ui->ParamRepeat),
                       static_cast<QWidget*>(ui->label_3)})
        w->setVisible(!towed);
    ui->pushButton_Stop->setText(towed ? QStringLiteral("停止采集") : QStringLiteral("取消采集"));
}

void Form_SampleControl::onContinueModeIndexChanged(int index)
{
    changeContinueMode(index);
}

void Form_SampleControl::onBtnStartClicked()
{
    ui->ParamFs->setEnabled(false);
    ui->ContinueMode->setEnabled(false);
    emit clickBtnStart();
}
