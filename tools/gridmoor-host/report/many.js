// The page over many runs: a sortable table of the scenarios, each linking
// to its own page, and one chart comparing them.
var kColumns = [
  ['scenario', 'name', false], ['status', 'status', false], ['objective', 'objective', true],
  ['oil STB/d', 'oilRate', true], ['water STB/d', 'waterRate', true],
  ['gas MMscf/d', 'gasRate', true], ['timesteps', 'timesteps', true],
  ['wall time s', 'wallSeconds', true], ['message', 'message', false],
];

function cellValue(s, key) {
  return key === 'oilRate' || key === 'waterRate' || key === 'gasRate'
             ? (s.rates ? s.rates[key] : null) : s[key];
}

function fillRows(body, list) {
  while (body.firstChild) body.removeChild(body.firstChild);
  list.forEach(function (s) {
    var tr = add(body, 'tr');
    kColumns.forEach(function (col) {
      var v = cellValue(s, col[1]);
      var td = add(tr, 'td', col[2] ? { class: 'num' } : null);
      if (col[1] === 'name' && s.link) {
        add(td, 'a', { href: s.link }, s.name);
      } else if (col[1] === 'status') {
        add(td, 'span', { class: 'status-' + (s.passed ? 'ok' : 'failed') }, v);
      } else {
        td.textContent = fmt(v);
      }
    });
  });
}

function compare(key, numeric, up) {
  return function (a, b) {
    var x = cellValue(a, key), y = cellValue(b, key);
    var missingX = x === null || x === undefined, missingY = y === null || y === undefined;
    if (missingX || missingY) return missingX === missingY ? 0 : missingX ? 1 : -1;
    var r = numeric ? x - y : String(x).localeCompare(String(y));
    return up ? r : -r;
  };
}

finish(function () {
  var d = report.data, list = d.scenarios.slice();
  document.title = 'Gridmoor: ' + list.length + ' scenarios';
  add(report.root, 'h1', null, list.length + ' scenarios: ' + d.passed + ' passed, ' +
      (list.length - d.passed) + ' failed');
  var t = add(report.root, 'table', { id: 'scenarios' });
  var hr = add(add(t, 'thead'), 'tr');
  var body = add(t, 'tbody');
  var sorted = { key: null, up: true };
  kColumns.forEach(function (col) {
    var th = add(hr, 'th', { class: 'sortable', 'data-key': col[1], title: 'sort' }, col[0]);
    th.addEventListener('click', function () {
      sorted.up = sorted.key === col[1] ? !sorted.up : true;
      sorted.key = col[1];
      list.sort(compare(col[1], col[2], sorted.up));
      Array.prototype.forEach.call(hr.cells, function (c) { c.removeAttribute('aria-sort'); });
      th.setAttribute('aria-sort', sorted.up ? 'ascending' : 'descending');
      fillRows(body, list);
    });
  });
  fillRows(body, list);

  add(report.root, 'h2', null, 'Final objective and output rates');
  var labels = d.scenarios.map(function (s) { return s.name; });
  var bar = function (label, key, axis, i) {
    return { label: label, yAxisID: axis, backgroundColor: palette[i],
             data: d.scenarios.map(function (s) {
               var v = cellValue(s, key);
               return v === null || v === undefined ? NaN : v;
             }) };
  };
  chart(add(report.root, 'div', { class: 'charts' }), 'compare', {
    type: 'bar',
    data: { labels: labels, datasets: [bar('objective', 'objective', 'y', 0),
      bar('oil STB/d', 'oilRate', 'y2', 1), bar('water STB/d', 'waterRate', 'y2', 2),
      bar('gas MMscf/d', 'gasRate', 'y3', 3)] },
    options: { scales: {
      y: { position: 'left', title: { display: true, text: 'objective' } },
      y2: { position: 'right', title: { display: true, text: 'STB/d' }, grid: { drawOnChartArea: false } },
      y3: { position: 'right', title: { display: true, text: 'MMscf/d' }, grid: { drawOnChartArea: false } },
    } },
  }, true);
});
