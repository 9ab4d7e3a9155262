// Every text the page shows, in the dialog's English (its spellings kept) and in Simplified
// Chinese, and the choice between them, kept for the next visit.
const kStorageLanguage = 'vkd37.language';

// The painted labels keep the order in which the background picture has them.
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
    upload: 'Upload Parameters ', sync: 'FOR/REV SYNC', connect: 'Connect',
    portOpened: 'Suceed Open Serial Port', portNotOpened: 'Faild Open Serial Port',
    uploading: 'Uploading\u2026\u2026', uploadDone: 'Download Complete', uploadFailed: 'Download Failed',
    notInteger: 'Please enter an integer.',
    between: (min, max) => `Please enter an integer between ${min} and ${max}.`,
    ok: 'OK',
    open: 'Open…', save: 'Save', saveAs: 'Save as…', batch: 'Upload, then the next controller',
    nextController: 'Connect the next controller, then press Upload Parameters again.',
    frame: 'Frame', log: 'Commissioning log', downloadLog: 'Download log (JSON lines)',
    logTime: 'Time', logPort: 'Port', logFrame: 'Frame', logOutcome: 'Outcome', logMs: 'ms',
    language: 'Language',
    summary: (all, confirmed, failed) => `${all} uploads: ${confirmed} confirmed, ${failed} failed`,
    noSerial: 'Uploading needs the Web Serial API of Chrome or Edge (version 89 or later, on a ' +
      'computer), with the page opened from disk or over https. Opening, editing and saving ' +
      'parameter files works here.',
    notParameterFile: (name) => `${name} is not a parameter file: it does not begin with the ` +
      '16 numbers of one. Nothing was changed.',
    opened: (name) => `Opened ${name}.`, saved: (name) => `Saved ${name}.`,
    saveFailed: (reason) => `The file was not saved: ${reason}`,
    portBusy: 'The port is held by another program (a terminal, another browser tab or the ' +
      'dialog program). Close that program or tab, then press Connect again.',
    portLost: 'The adapter was unplugged. Plug it in again: the page reconnects by itself.',
    portBack: 'The adapter is back.',
    noPort: 'No port chosen.',
    reasons: {
      'no-echo': 'no echo', 'short-echo': 'short echo', 'changed-echo': 'the echo differs',
      'line-lost': 'line lost', 'write-failed': 'the frame could not be sent',
    },
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
    upload: '上传参数', sync: '正反向同步', connect: '连接',
    portOpened: '串口打开成功', portNotOpened: '串口打开失败',
    uploading: '正在上传……', uploadDone: '下载完成', uploadFailed: '下载失败',
    notInteger: '请输入整数。',
    between: (min, max) => `请输入 ${min} 到 ${max} 之间的整数。`,
    ok: '确定',
    open: '打开…', save: '保存', saveAs: '另存为…', batch: '上传后接下一台控制器',
    nextController: '请连接下一台控制器，然后再次点击“上传参数”。',
    frame: '数据帧', log: '调试记录', downloadLog: '下载记录（JSON 行）',
    logTime: '时间', logPort: '端口', logFrame: '数据帧', logOutcome: '结果', logMs: '毫秒',
    language: '语言',
    summary: (all, confirmed, failed) => `共上传 ${all} 次：成功 ${confirmed} 次，失败 ${failed} 次`,
    noSerial: '上传需要 Chrome 或 Edge（89 或更高版本，电脑版）的 Web Serial 接口，且页面须从' +
      '本地文件或 https 打开。在此仍可打开、编辑和保存参数文件。',
    notParameterFile: (name) => `${name} 不是参数文件：它不以 16 个数字开头。未作任何更改。`,
    opened: (name) => `已打开 ${name}。`, saved: (name) => `已保存 ${name}。`,
    saveFailed: (reason) => `文件未保存：${reason}`,
    portBusy: '串口正被其他程序占用（终端、其他浏览器标签页或对话框程序）。请关闭该程序或标签页，' +
      '然后再次点击“连接”。',
    portLost: '适配器已拔出。重新插上后页面会自动重新连接。',
    portBack: '适配器已重新连接。',
    noPort: '未选择串口。',
    reasons: {
      'no-echo': '无回传', 'short-echo': '回传不完整', 'changed-echo': '回传不一致',
      'line-lost': '线路断开', 'write-failed': '数据帧无法发送',
    },
  },
};

// The elements page.html has whose whole text is one of the texts above.
const kElementTexts = [['caption', 'caption'], ['sync', 'sync'], ['upload', 'upload'],
  ['connect', 'connect'], ['open', 'open'], ['save', 'save'], ['save-as', 'saveAs'],
  ['download-log', 'downloadLog'], ['prompt-ok', 'ok'], ['batch-label', 'batch'],
  ['frame-label', 'frame'], ['log-label', 'log'], ['language-label', 'language'],
  ['log-time', 'logTime'], ['log-port', 'logPort'], ['log-frame', 'logFrame'],
  ['log-outcome', 'logOutcome'], ['log-ms', 'logMs']];

const $ = (id) => document.getElementById(id);

export class Language {
  constructor() {
    this.code = localStorage.getItem(kStorageLanguage) === 'zh' ? 'zh' : 'en';
    // What each element shows, rendered again after every change of language.
    this.textRenders = new Map();
    this.nameRenders = new Map();
    this.listeners = [];
    for (const [id, key] of kElementTexts) this.show($(id), key);
    $('language').value = this.code;
    $('language').addEventListener('change', (event) => {
      this.code = event.target.value;
      localStorage.setItem(kStorageLanguage, this.code);
      this.apply();
    });
  }

  // The text of key; a text with arguments is a function of them, a list is indexed by its one.
  text(key, ...args) {
    const text = kTexts[this.code][key];
    if (typeof text === 'function') return text(...args);
    return Array.isArray(text) ? text[args[0]] : text;
  }

  // The element's text, or its accessible name, now and in every language chosen later.
  show(element, key, ...args) {
    this.follow(this.textRenders, element, () => { element.textContent = this.text(key, ...args); });
  }

  name(element, key) {
    this.follow(this.nameRenders, element, () => element.setAttribute('aria-label', this.text(key)));
  }

  follow(renders, element, render) {
    renders.set(element, render);
    render();
  }

  // A message, in the language of the moment.
  say(key, ...args) { $('message').textContent = this.text(key, ...args); }

  clearMessage() { $('message').textContent = ''; }

  // The prompt after a failed upload: the core's words for the outcome, or the outcome's name
  // in this language.
  uploadFailure(outcomeName, detail, lineError) {
    const reason = this.code === 'en' ? detail : kTexts[this.code].reasons[outcomeName];
    return `${this.text('uploadFailed')}: ${reason}${lineError ? ` (${lineError})` : ''}`;
  }

  // listener() runs after every change of language, once the shown texts have followed it.
  onChange(listener) { this.listeners.push(listener); }

  apply() {
    document.documentElement.lang = this.code === 'zh' ? 'zh-Hans' : 'en';
    document.title = `${this.text('programName')} — ${this.text('caption')}`;
    for (const render of [...this.textRenders.values(), ...this.nameRenders.values()]) render();
    for (const listener of this.listeners) listener();
  }
}
