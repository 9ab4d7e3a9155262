// Every text the page shows, in the dialog's English (its spellings kept) and in Simplified
// Chinese, and the choice between them, kept for the next visit. What is shown is kept as a
// message, a key with its arguments, so that it can be said again in the other language; an
// argument may be a message itself.
const kStorageLanguage = 'vkd37.language';

const mebibytes = (bytes) => bytes / (1 << 20);

// A text of the table below with its arguments, rendered in the language of the moment.
export const message = (key, ...args) => ({ key, args });

// The painted labels keep the order in which the background picture has them. A text is a
// string, a function of the arguments, a list indexed by the first one, or a table keyed by it.
// The unit pattern matcher's syntax reasons (record/LabelPattern.cpp), in Chinese.
export const kSyntaxWords = {
  '\\ at the end of the pattern': '格式以 \\ 结尾',
  'a backreference to no group': '引用了不存在的分组',
  'a backreference to no group of that name': '引用了不存在的分组名称',
  'a duplicate group name': '分组名称重复',
  'groups nested too deeply': '分组嵌套过深',
  'incomplete quantifier': '量词不完整',
  'invalid Unicode escape': '无效的 Unicode 转义',
  'invalid character class': '无效的字符类',
  'invalid control escape': '无效的控制字符转义',
  'invalid decimal escape': '无效的十进制转义',
  'invalid escape': '无效的转义',
  'invalid group': '无效的分组',
  'invalid group name': '无效的分组名称',
  'invalid named reference': '无效的命名引用',
  'invalid property name': '无效的属性名称',
  'lone quantifier brackets': '单独的量词括号',
  'nothing to repeat': '没有可重复的内容',
  'numbers out of order in {} quantifier': '{} 量词中的数字顺序颠倒',
  'range out of order in character class': '字符类中的范围顺序颠倒',
  "unmatched ')'": "多余的 ')'",
  'unterminated character class': '字符类未结束',
  'unterminated group': '分组未结束',
};

const kTexts = {
  en: {
    programName: 'VKD-37参数设定程序',
    caption: 'NORVEL AXIS PANEL',
    painted: [
      'Internal Speed（1-128）', 'Internal Potentiometer', 'External Potentiometer',
      'ACC（1-127)', 'DEC（0-127)', 'Forward Direction',
      'Internal Speed（1-128）', 'Internal Potentiometer', 'External Potentiometer',
      'ACC（1-127)', 'DEC（0-127)', 'Reverse Direction',
      'Function Disable', 'Function Enable', 'COM Port:', 'No.of Cycle:', 'Home Start Delay：',
      'ms', 'End Start Delay：', 'ms', 'Auto Homing Upon Power ON', 'Auto Start Upon Power ON',
      'Home Sensor', 'Limit Sensor',
    ],
    fwdSpeed: 'Forward internal speed', revSpeed: 'Reverse internal speed',
    fwdSource: 'Forward speed source', revSource: 'Reverse speed source',
    cyclesOn: 'Cycle count in force', homeDelayOn: 'Home start delay in force',
    endDelayOn: 'End start delay in force',
    upload: 'Upload Parameters ', sync: 'FOR/REV SYNC', connect: 'Connect',
    portOpened: 'Suceed Open Serial Port', portNotOpened: 'Faild Open Serial Port',
    uploading: 'Uploading\u2026\u2026', uploadDone: 'Download Complete', uploadFailed: 'Download Failed',
    notInteger: 'Please enter an integer.',
    between: (min, max) => `Please enter an integer between ${min} and ${max}.`,
    // By the group's key, as the dialog asks.
    chooseSource: { fwdSource: 'Please choose the forward speed source.',
      revSource: 'Please choose the reverse speed source.' },
    ok: 'OK',
    open: 'Open…', save: 'Save', saveAs: 'Save as…', batch: 'Upload, then the next controller',
    nextController: 'Connect the next controller, then press Upload Parameters again.',
    frame: 'Frame', log: 'Commissioning log', downloadLog: 'Download log (JSON lines)',
    clearLog: 'Clear log',
    clearLogAsk: (count) => `Entries of the log never written to a file: ${count}. Clear the log all the same?`,
    logTime: 'Time (UTC)', logPort: 'Port', logFrame: 'Frame', logOutcome: 'Outcome', logMs: 'ms',
    language: 'Language',
    version: (version) => `VKD-37 parameter tool, version ${version}`,
    summary: (all, confirmed, failed) =>
      `${all} ${all === 1 ? 'upload' : 'uploads'}: ${confirmed} confirmed, ${failed} failed`,
    summaryLatest: (all, confirmed, failed, shown) =>
      `${all} uploads: ${confirmed} confirmed, ${failed} failed (the latest ${shown} shown)`,
    unit: 'Unit', logUnit: 'Unit', downloadXlsx: 'Download spreadsheet', downloadCsv: 'Download CSV',
    printReport: 'Print report',
    unitAgain: (label) => `${label} was already sent in this batch. Press Enter to send it again, ` +
      'or scan or type another label.',
    sendAgain: 'Send again', cancel: 'Cancel',
    unitPattern: 'Unit pattern',
    unitPatternInvalid: (pattern, reason) => `The unit pattern ${pattern} is not a pattern: ${reason}.`,
    noBackreferences: 'it refers back to a group (\\1, \\k<name>), which the tool does not take either',
    patternTooLarge: (steps) => `it is too large (more than ${steps} steps), which the tool does not take either`,
    patternTooDeep: (levels) => `its groups are nested more than ${levels} deep, which the tool does not take either`,
    patternSyntax: (what, at) => `${what} at character ${at}`,
    unitNeeded: (pattern) => `A unit label that matches the unit pattern ${pattern} is needed.`,
    unitRefused: (label, pattern) => `The unit label ${label} does not match the unit pattern ${pattern}.`,
    unitTooLong: (length, pattern) => `The unit label (${length} characters) is too long to check against the unit pattern ${pattern}.`,
    logEmpty: 'The log is empty.',
    logWritten: (count, name) => `The log (${count} ${count === 1 ? 'entry' : 'entries'}) was written to ${name}.`,
    logCleared: 'The log was cleared.', notCleared: 'The entries never written to a file were kept.',
    ofLog: (action) => `${action} of the log`, ofRecords: (action) => `${action} of the records opened`,
    logOffered: 'The log was handed to the browser as a download. The page cannot tell whether ' +
      'it was kept, so Clear log still asks first.',
    notWritten: 'Nothing was written: the save was cancelled.',
    recordHeld: (count) => 'The browser has no room left for the log. Entries kept only in this ' +
      `tab: ${count}. Download the log before closing it.`,
    recordAtRisk: 'The browser is running out of room for the log, and no entry kept has been ' +
      'written to a file yet. Download the log now: entries written out make room for new ones.',
    recordNewer: (count) => 'Another tab of this page, a newer version of it, now keeps the log: download ' +
      `it from there. Entries made here since: ${count}, kept only in this tab; download the log before ` +
      'closing it.',
    recordBlocked: (count) => 'The log is held by another tab of this page, an earlier version of it, which ' +
      `does not let it go: close or reload that tab. Entries made here since: ${count}, kept only in this tab; ` +
      'download the log before closing it.',
    heldByTab: 'another tab of this page held the log',
    entriesWritten: (count, name) => `${count} ${count === 1 ? 'entry' : 'entries'} of this tab ` +
      `${count === 1 ? 'was' : 'were'} written to ${name}.`,
    reportOpened: 'The report was opened to print.',
    reportOffered: (name) => `${name} was handed to the browser as a download.`,
    onlyThisTab: (said) => `${said} It holds only the entries kept in this tab: the rest of ` +
      'the log is held by another tab of this page, an earlier version of it, which does not let it go. ' +
      'Close or reload that tab, then try again.',
    clearHeld: 'Nothing was cleared: the log is held by another tab of this page, an earlier version of ' +
      'it, which does not let it go. Close or reload that tab, then clear the log.',
    recordNotKept: (count, reason) => `The browser did not keep entries of the log (${reason}). Entries ` +
      `kept only in this tab: ${count}. Download the log before closing it.`,
    recordFailed: (reason) => `The log could not be read or changed: ${reason}.`,
    logHelp: 'To name each unit, tick “Upload, then the next controller”, type or scan the ' +
      'unit’s label into Unit and press Enter: after each upload Unit waits for the next label, ' +
      'and a label already sent in the batch is asked about. Unit pattern, when given, refuses a ' +
      'label it does not match as a whole (a regular expression, as JavaScript’s: A-[0-9]{4} ' +
      'takes A-0017). Enter held down, or a scanner’s ' +
      'second Enter, uploads once and answers no box. Download log writes every entry ' +
      'as JSON lines, each linked to the line before it as the tool links its log, so that ' +
      '`vkd37 report --verify` finds a line changed, removed or put in; Download spreadsheet gives a workbook with one row per attempt and each ' +
      'unit’s verdict, every label and frame kept as recorded; Download CSV gives the ' +
      'attempts for scripts; Print report prints the report to sign: the verdict, each unit ' +
      'with its last outcome and values, the failed attempts and a summary. Open records ' +
      'takes the records of several stations (the tool’s --log files, logs of this page) and ' +
      'reports them as one, as `vkd37 report` does: a line in more than one file counts once, ' +
      'and the summary names each file’s station and chain, gaps, conflicts (a unit confirmed ' +
      'with different values at two stations) and units off their profile.',
    openRecords: 'Open records…', recordsLabel: 'Records opened',
    recordsOpened: (count) => (count === 1 ? 'The record of 1 file.'
      : `Records of ${count} files gathered as one.`),
    recordsFailed: (reason) => `The records could not be read: ${reason}.`,
    recordChanged: (name) => `The records could not be read: ${name} changed while it was read. Open the files again.`,
    recordsTooLarge: 'The record has more attempts than a sheet holds: download the CSV.',
    noSerial: 'Uploading needs the Web Serial API of Chrome or Edge (version 105 or later, on a ' +
      'computer), with the page opened from disk or over https. Opening, editing and saving ' +
      'parameter files works here.',
    opened: (name) => `Opened ${name}.`, saved: (name) => `Saved ${name}.`,
    // A file the dialog's reader could not read whole: the values after it stopped are 0.
    openedPart: (name, taken, count) => `Opened ${name}: it holds ${taken} of the ${count} values; the ` +
      'others are 0, as the dialog reads it.',
    openedStopped: (name, taken, count, offset, why) => `Opened ${name}: reading stopped at byte ` +
      `${offset} (${why}) after ${taken} of the ${count} values; the others are 0, as the dialog reads it.`,
    // By the name of why the reader stopped; the read limit in bytes.
    stoppedAt: { notANumber: 'not a number', outOfRange: 'a number beyond 32 bits',
      readLimit: (limit) => `the end of the file's first ${mebibytes(limit)} MiB, all the reader takes` },
    saveFailed: (name, reason) => `${name} was not saved: ${reason}.`,
    timedOut: 'it did not end in time',
    readFailed: (name, reason) => `${name} could not be read: ${reason}. Nothing was changed.`,
    unsaved: (name, reason) => `${name} has changes that are not saved: ${reason}.`,
    // Why, by what the page can do about it.
    unsavedReason: {
      save: 'press Save',
      download: 'this browser does not let the page write files here; press Save to download the file',
      changed: 'another program changed the file since the page read or last saved it, so the page did not ' +
        'write over it; open it again to take its values, or use Save as… to replace it',
      unread: (offset) => `the page does not write over what it could not read (from byte ${offset} ` +
        'on); press Save to replace the whole file with the values on the form',
    },
    noPickers: 'This browser does not let the page use its file pickers here (a policy or a ' +
      'setting): Open… uses the browser\'s file chooser, and Save offers the file as a download.',
    portBusy: 'The port is held by another program (a terminal, another browser tab or the ' +
      'dialog program). Close that program or tab, then press Connect again.',
    portBusyTab: 'The port is held by another tab of this page. Close that tab, then press Connect again.',
    openFailed: (reason) => `The port could not be opened: ${reason}. Press Connect to try again.`,
    portLost: 'The adapter was unplugged. Plug it in again: the page reconnects by itself.',
    portBack: 'The adapter is back.',
    reopenFailed: 'The port failed and could not be opened again. Check the adapter and the ' +
      'cable, then press Connect.',
    noPort: 'No port chosen.',
    noStorage: 'This browser keeps no data for the page here: the values, the language and the ' +
      'commissioning log are forgotten when the page is closed. Save the file and download the ' +
      'log before closing it.',
    uploadFailure: (reason) => `Download Failed: ${reason}`,
    lineError: (reason, name) => `${reason} (line error: ${name})`,
    portClosed: 'no port is open; press Connect',
    openProfile: 'Open profile…', saveProfile: 'Save profile…', profileLabel: 'Profile',
    stationNameLabel: 'Station', stationPatternLabel: 'Unit pattern', stationEnter: 'Station mode',
    stationLeave: 'Leave station mode', stationScanLabel: 'Scan',
    profileRefused: (name, problem) => `${name} is not an approved profile: ${problem}. Nothing was changed.`,
    profileOpened: (name, identity) => `Profile ${name} [${identity}] opened.`,
    profileSaved: (name, identity) => `Profile ${name} [${identity}] saved.`,
    profileNeedsName: 'Give the profile a name first.',
    changesAgainst: (name) => `Changes against ${name}:`,
    noChanges: (name) => `No changes against ${name}.`,
    stationProfile: (name, identity) => `Station mode: profile ${name} [${identity}]. The values cannot be changed.`,
    stationScan: 'Scan the next unit\'s label.',
    stationLeaveAgain: 'Click Leave station mode again to leave.',
    stationRefused: (label, pattern) => `${label} does not match the unit pattern ${pattern}: nothing was sent. Scan the right label.`,
    stationTooLong: (length, pattern) => `The label (${length} characters) is too long to check against the unit pattern ${pattern}: nothing was sent. Scan the right label.`,
    stationAgain: (time) => `This unit was confirmed today already, at ${time}, and was uploaded again.`,
    stationUnchecked: 'Whether this unit was confirmed earlier today is not known: the log is held by ' +
      'another tab of this page, an earlier version of it, and only this tab’s entries were checked.',
    stationPassed: 'Confirmed. Scan the next unit.',
    labelsWaiting: (labels) => `Scanned, to be uploaded next: ${labels}.`,
    labelsNotSent: (labels) => `Not sent, as the upload before them was refused: ${labels}. Scan them again.`,
    labelTyped: (typed) => `Typed for the next unit: ${typed}`,
    stationFailed: (reason) => `${reason}. Check the unit and scan it again.`,
  },
  zh: {
    programName: 'VKD-37参数设定程序',
    caption: 'NORVEL 轴控制面板',
    painted: [
      '内部速度（1-128）', '内部电位器', '外部电位器', '加速（1-127)', '减速（0-127)', '正向',
      '内部速度（1-128）', '内部电位器', '外部电位器', '加速（1-127)', '减速（0-127)', '反向',
      '功能禁用', '功能启用', '串口：', '循环次数：', '原点启动延时：', '毫秒', '终点启动延时：',
      '毫秒', '上电自动回原点', '上电自动启动', '原点传感器', '限位传感器',
    ],
    fwdSpeed: '正向内部速度', revSpeed: '反向内部速度',
    fwdSource: '正向速度来源', revSource: '反向速度来源',
    cyclesOn: '启用循环次数', homeDelayOn: '启用原点启动延时', endDelayOn: '启用终点启动延时',
    upload: '上传参数', sync: '正反向同步', connect: '连接',
    portOpened: '串口打开成功', portNotOpened: '串口打开失败',
    uploading: '正在上传……', uploadDone: '下载完成', uploadFailed: '下载失败',
    notInteger: '请输入整数。',
    between: (min, max) => `请输入 ${min} 到 ${max} 之间的整数。`,
    chooseSource: { fwdSource: '请选择正向速度来源。', revSource: '请选择反向速度来源。' },
    ok: '确定',
    open: '打开…', save: '保存', saveAs: '另存为…', batch: '上传后接下一台控制器',
    nextController: '请连接下一台控制器，然后再次点击“上传参数”。',
    frame: '数据帧', log: '调试记录', downloadLog: '下载记录（JSON 行）',
    clearLog: '清除记录',
    clearLogAsk: (count) => `记录中有 ${count} 条从未写入文件。仍要清除全部记录吗？`,
    logTime: '时间（UTC）', logPort: '端口', logFrame: '数据帧', logOutcome: '结果', logMs: '毫秒',
    language: '语言',
    version: (version) => `VKD-37 参数设定程序，版本 ${version}`,
    summary: (all, confirmed, failed) => `共上传 ${all} 次：成功 ${confirmed} 次，失败 ${failed} 次`,
    summaryLatest: (all, confirmed, failed, shown) =>
      `共上传 ${all} 次：成功 ${confirmed} 次，失败 ${failed} 次（下面显示最近 ${shown} 次）`,
    unit: '设备编号', logUnit: '设备编号', downloadXlsx: '下载电子表格', downloadCsv: '下载 CSV',
    printReport: '打印报告',
    unitAgain: (label) => `本批次已发送过 ${label}。按回车键再次发送，或扫描、输入其他标签。`,
    sendAgain: '再次发送', cancel: '取消',
    unitPattern: '编号格式',
    unitPatternInvalid: (pattern, reason) => `编号格式 ${pattern} 不是有效的格式：${reason}。`,
    noBackreferences: '其中引用了前面的分组（\\1、\\k<名称>），命令行工具也不接受',
    patternTooLarge: (steps) => `格式过大（超过 ${steps} 步），命令行工具也不接受`,
    patternTooDeep: (levels) => `分组嵌套超过 ${levels} 层，命令行工具也不接受`,
    patternSyntax: (what, at) => `${kSyntaxWords[what] ?? what}（第 ${at} 个字符处）`,
    unitNeeded: (pattern) => `需要符合编号格式 ${pattern} 的设备编号。`,
    unitRefused: (label, pattern) => `设备编号 ${label} 不符合编号格式 ${pattern}。`,
    unitTooLong: (length, pattern) => `设备编号（${length} 个字符）太长，无法按编号格式 ${pattern} 检查。`,
    logEmpty: '记录为空。',
    logWritten: (count, name) => `记录（${count} 条）已写入 ${name}。`,
    logCleared: '记录已清除。', notCleared: '从未写入文件的记录已保留。',
    ofLog: (action) => `${action}（调试记录）`, ofRecords: (action) => `${action}（已打开的记录）`,
    logOffered: '记录已作为下载交给浏览器。页面无法得知文件是否已保存，因此“清除记录”仍会先询问。',
    notWritten: '未写入任何文件：已取消保存。',
    recordHeld: (count) => `浏览器已没有空间保存记录，仅保存在此标签页中的记录：${count} 条。关闭前请下载记录。`,
    recordAtRisk: '浏览器用于保存记录的空间即将用尽，且保存的记录都尚未写入文件。请立即下载记录：' +
      '已写入文件的记录会为新记录腾出空间。',
    recordNewer: (count) => `本页面的另一个标签页（较新版本）现在保存记录：请在那里下载。此后在此记录的 ${count} 条` +
      '仅保存在此标签页中，关闭前请下载记录。',
    recordBlocked: (count) => '记录正被本页面的另一个标签页（较早版本）占用且未释放：请关闭或重新加载该标签页。' +
      `此后在此记录的 ${count} 条仅保存在此标签页中，关闭前请下载记录。`,
    heldByTab: '本页面的另一个标签页占用了记录',
    entriesWritten: (count, name) => `此标签页的 ${count} 条记录已写入 ${name}。`,
    reportOpened: '报告已打开以供打印。',
    reportOffered: (name) => `${name} 已作为下载交给浏览器。`,
    onlyThisTab: (said) => `${said}其中仅有此标签页中保存的记录：其余记录正被本页面的另一个标签页（较早版本）` +
      '占用且未释放。请关闭或重新加载该标签页，然后重试。',
    clearHeld: '未清除任何记录：记录正被本页面的另一个标签页（较早版本）占用且未释放。请关闭或重新加载该标签页，然后再清除记录。',
    recordNotKept: (count, reason) => `浏览器未保存部分记录（${reason}）。仅保存在此标签页中的记录：${count} 条。关闭前请下载记录。`,
    recordFailed: (reason) => `无法读取或更改记录：${reason}。`,
    logHelp: '为每台设备命名：勾选“上传后接下一台控制器”，在“设备编号”中输入或扫描设备标签并按回车键；' +
      '每次上传后“设备编号”等待下一个标签，本批次已发送过的标签会再次询问。填写“编号格式”后，' +
      '不能完整匹配它的标签会被拒绝（正则表达式，与 JavaScript 相同：A-[0-9]{4} 接受 A-0017）。按住回车键或扫描器的第二个' +
      '回车只上传一次，也不会回答询问框。“下载记录”以 JSON 行写出' +
      '全部记录，每行与上一行链接（与工具的记录相同），`vkd37 report --verify` 可查出被修改、删除或插入的行；“下载电子表格”写出工作簿：每次上传一行，另有每台设备的结论，标签和数据帧均按记录原样' +
      '保留；“下载 CSV”为脚本写出每次上传；“打印报告”打印可签署的报告：总结论、每台设备的最后结果和' +
      '数值、失败的上传以及汇总。“打开记录”读取多个工位的记录（工具的 --log 文件、本页面的记录），' +
      '与 `vkd37 report` 一样合并报告：多个文件中相同的行只计一次，汇总列出每个文件的工位和链、' +
      '缺口、冲突（同一设备在两个工位以不同数值确认）以及与其配置不符的设备。',
    openRecords: '打开记录…', recordsLabel: '已打开的记录',
    recordsOpened: (count) => (count === 1 ? '已读取 1 个文件的记录。' : `已将 ${count} 个文件的记录合并为一份。`),
    recordsFailed: (reason) => `无法读取记录：${reason}。`,
    recordChanged: (name) => `无法读取记录：${name} 在读取时被更改。请重新打开这些文件。`,
    recordsTooLarge: '记录的上传次数超过工作表的容量：请下载 CSV。',
    noSerial: '上传需要 Chrome 或 Edge（105 或更高版本，电脑版）的 Web Serial 接口，且页面须从' +
      '本地文件或 https 打开。在此仍可打开、编辑和保存参数文件。',
    opened: (name) => `已打开 ${name}。`, saved: (name) => `已保存 ${name}。`,
    openedPart: (name, taken, count) => `已打开 ${name}：文件只有 ${count} 个数值中的 ${taken} 个；其余为 0，与对话框程序的读法相同。`,
    openedStopped: (name, taken, count, offset, why) => `已打开 ${name}：读取在第 ${offset} 字节处停止（${why}），` +
      `已读 ${count} 个数值中的 ${taken} 个；其余为 0，与对话框程序的读法相同。`,
    stoppedAt: { notANumber: '该处不是数字', outOfRange: '该处的数字超出 32 位范围',
      readLimit: (limit) => `已到读取上限（文件的前 ${mebibytes(limit)} MiB）` },
    saveFailed: (name, reason) => `${name} 未保存：${reason}。`,
    timedOut: '未在时限内完成',
    readFailed: (name, reason) => `无法读取 ${name}：${reason}。未作任何更改。`,
    unsaved: (name, reason) => `${name} 有未保存的更改：${reason}。`,
    unsavedReason: {
      save: '请点击“保存”',
      download: '此浏览器不允许本页面在此写入文件；请点击“保存”下载该文件',
      changed: '自本页面读取或上次保存以来，该文件已被其他程序更改，因此本页面没有覆盖它；请重新打开以读取其数值，' +
        '或使用“另存为…”替换它',
      unread: (offset) => `本页面不会覆盖无法读取的内容（自第 ${offset} 字节起）；请点击“保存”，` +
        '以表单上的数值替换整个文件',
    },
    noPickers: '此浏览器不允许本页面在此使用文件选择器（策略或设置所致）：“打开…”改用浏览器的文件选择，' +
      '“保存”改为下载文件。',
    portBusy: '串口正被其他程序占用（终端、其他浏览器标签页或对话框程序）。请关闭该程序或标签页，' +
      '然后再次点击“连接”。',
    portBusyTab: '串口正被本页面的另一个标签页占用。请关闭该标签页，然后再次点击“连接”。',
    openFailed: (reason) => `无法打开串口：${reason}。请再次点击“连接”。`,
    portLost: '适配器已拔出。重新插上后页面会自动重新连接。',
    portBack: '适配器已重新连接。',
    reopenFailed: '串口出错，且无法重新打开。请检查适配器和线缆，然后点击“连接”。',
    noPort: '未选择串口。',
    noStorage: '此浏览器不为本页面保存数据：关闭页面后，数值、语言和调试记录都不会保留。' +
      '关闭前请保存文件并下载记录。',
    uploadFailure: (reason) => `下载失败：${reason}`,
    lineError: (reason, name) => `${reason}（线路错误：${name}）`,
    portClosed: '没有打开的串口；请点击“连接”',
    openProfile: '打开配置…', saveProfile: '保存配置…', profileLabel: '配置',
    stationNameLabel: '工位', stationPatternLabel: '设备编号格式', stationEnter: '工位模式',
    stationLeave: '退出工位模式', stationScanLabel: '扫描',
    profileRefused: (name, problem) => `${name} 不是认可的配置：${problem}。未做任何更改。`,
    profileOpened: (name, identity) => `已打开配置 ${name} [${identity}]。`,
    profileSaved: (name, identity) => `已保存配置 ${name} [${identity}]。`,
    profileNeedsName: '请先为配置命名。',
    changesAgainst: (name) => `相对于 ${name} 的更改：`,
    noChanges: (name) => `相对于 ${name} 没有更改。`,
    stationProfile: (name, identity) => `工位模式：配置 ${name} [${identity}]。参数不可更改。`,
    stationScan: '请扫描下一台设备的标签。',
    stationLeaveAgain: '再次点击“退出工位模式”即可退出。',
    stationRefused: (label, pattern) => `${label} 不符合设备编号格式 ${pattern}：未发送任何数据。请扫描正确的标签。`,
    stationTooLong: (length, pattern) => `标签（${length} 个字符）太长，无法按设备编号格式 ${pattern} 检查：未发送任何数据。请扫描正确的标签。`,
    stationAgain: (time) => `该设备今天已在 ${time} 确认过，并已再次上传。`,
    stationUnchecked: '无法得知该设备今天是否已确认过：记录正被本页面的另一个标签页（较早版本）占用，只检查了此标签页中的记录。',
    stationPassed: '已确认。请扫描下一台设备。',
    labelsWaiting: (labels) => `已扫描，等待上传：${labels}。`,
    labelsNotSent: (labels) => `前一次上传被拒绝，以下编号未发送：${labels}。请重新扫描。`,
    labelTyped: (typed) => `已为下一台设备输入：${typed}`,
    stationFailed: (reason) => `${reason}。请检查设备后重新扫描。`,
  },
};

// The elements page.html has whose whole text is one of the texts above.
const kElementTexts = [['caption', 'caption'], ['sync', 'sync'], ['upload', 'upload'],
  ['connect', 'connect'], ['open', 'open'], ['save', 'save'], ['save-as', 'saveAs'],
  ['download-log', 'downloadLog'], ['clear-log', 'clearLog'], ['prompt-ok', 'ok'],
  ['batch-label', 'batch'], ['frame-label', 'frame'], ['log-label', 'log'],
  ['unit-label', 'unit'], ['unit-pattern-label', 'unitPattern'], ['log-unit', 'logUnit'],
  ['download-xlsx', 'downloadXlsx'], ['download-csv', 'downloadCsv'],
  ['print-report', 'printReport'], ['log-help', 'logHelp'], ['open-records', 'openRecords'],
  ['records-label', 'recordsLabel'], ['records-xlsx', 'downloadXlsx'], ['records-csv', 'downloadCsv'],
  ['records-print', 'printReport'], ['ask-yes', 'sendAgain'],
  ['ask-no', 'cancel'],
  ['language-label', 'language'], ['log-time', 'logTime'], ['log-port', 'logPort'],
  ['log-frame', 'logFrame'], ['log-outcome', 'logOutcome'], ['log-ms', 'logMs'],
  ['open-profile', 'openProfile'], ['save-profile', 'saveProfile'], ['profile-label', 'profileLabel'],
  ['station-name-label', 'stationNameLabel'], ['station-pattern-label', 'stationPatternLabel'],
  ['station-enter', 'stationEnter'], ['station-leave', 'stationLeave'], ['station-scan-label', 'stationScanLabel']];

// The buttons that share a text with another, named each by what they act on.
const kElementNames = [['download-xlsx', 'ofLog', 'downloadXlsx'], ['download-csv', 'ofLog', 'downloadCsv'],
  ['print-report', 'ofLog', 'printReport'], ['records-xlsx', 'ofRecords', 'downloadXlsx'],
  ['records-csv', 'ofRecords', 'downloadCsv'], ['records-print', 'ofRecords', 'printReport']];

const $ = (id) => document.getElementById(id);

function pick(text, args) {
  if (typeof text === 'function') return text(...args);
  if (Array.isArray(text)) return text[args[0]];
  if (text && typeof text === 'object') return pick(text[args[0]], args.slice(1));
  return text;
}

export class Language {
  constructor(keeper, core) {
    this.keeper = keeper;
    // An upload's outcome is said in the core's words, in either language: why an upload failed,
    // by the outcome's code and the bytes received, and the log's outcome column, by the name the
    // log keeps.
    this.coreTexts = {
      reason: (outcome, received) => core.echoReason(outcome, received, this.code),
      outcome: (name) => core.outcomeWord(name, this.code),
    };
    this.code = keeper.get(kStorageLanguage) === 'zh' ? 'zh' : 'en';
    // A label as the log and the reports show it (its controls escaped, its backslashes doubled),
    // wherever the page names one: a GS of a barcode or a turn of direction cannot make one label
    // read as another.
    this.shownLabel = (label) => core.shownLabel(label);
    // What each element shows, rendered again after every change of language.
    this.renders = new Map();
    this.said = null; // the message under the form
    this.notices = []; // what stays said about this browser
    for (const [id, key] of kElementTexts) this.show($(id), key);
    for (const [id, key, action] of kElementNames) this.name($(id), key, message(action));
    $('language').value = this.code;
    $('language').addEventListener('change', (event) => {
      this.code = event.target.value;
      keeper.set(kStorageLanguage, this.code);
      this.apply();
    });
  }

  // The text of key with its arguments, messages among them said first. A browser's error is
  // its own message, in the browser's language, without its full stop; a time-out of the page's
  // own is said in the page's language.
  text(key, ...args) {
    const said = args.map((arg) => {
      if (arg instanceof Error || arg instanceof DOMException) {
        // A browser's error may come without a message: its name says what it was.
        return arg.name === 'TimeoutError' ? this.text('timedOut') : arg.message.replace(/\.\s*$/, '') || arg.name;
      }
      return arg && arg.key ? this.text(arg.key, ...arg.args) : arg;
    });
    return pick(kTexts[this.code][key] ?? this.coreTexts[key], said);
  }

  // The element's text, or its accessible name, now and in every language chosen later.
  show(element, key, ...args) {
    this.follow(element, 'text', () => { element.textContent = this.text(key, ...args); });
  }

  name(element, key, ...args) {
    this.follow(element, 'name', () => element.setAttribute('aria-label', this.text(key, ...args)));
  }

  follow(element, what, render) {
    if (!this.renders.has(element)) this.renders.set(element, {});
    this.renders.get(element)[what] = render;
    render();
  }

  forget(element) { this.renders.delete(element); }

  // The element emptied, and no longer rendered again at a language switch.
  clear(element) {
    this.forget(element);
    element.textContent = '';
  }

  // A message under the form, in the language of the moment; one at a time.
  say(key, ...args) {
    this.said = key;
    this.show($('message'), key, ...args);
  }

  clearMessage() {
    this.said = null;
    this.forget($('message'));
    $('message').textContent = '';
  }

  // Takes back the message of key, if it is the one shown.
  withdraw(key) {
    if (this.said === key) this.clearMessage();
  }

  // Something about this browser that stays said, once.
  notice(key) {
    if (this.notices.includes(key)) return;
    this.notices.push(key);
    const line = document.createElement('span');
    $('notice').append(line);
    this.show(line, key);
  }

  // The document's language and title; each element shows its text in the language already.
  applyToDocument() {
    document.documentElement.lang = this.code === 'zh' ? 'zh-Hans' : 'en';
    document.title = `${this.text('programName')} — ${this.text('caption')}`;
  }

  apply() {
    this.applyToDocument();
    for (const { text, name } of this.renders.values()) {
      text?.();
      name?.();
    }
  }
}
