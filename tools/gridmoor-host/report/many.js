// The page over many runs: a sortable table of the scenarios with the values
// that set them apart, each linking to its own page, and each result
// charted against a chosen one of those values.
function objectiveTitle(d) {
  var o = d.objective || {};
  return (o.name || 'objective') + (o.unit ? ' [' + o.unit + ']' : '');
}

function columns(d) {
  var list = [['scenario', 'name', false], ['status', 'status', false]];
  d.varied.forEach(function (path, i) { list.push([path, 'varied:' + i, true]); });
  return list.concat([
    [objectiveTitle(d), 'objective', true], ['oil STB/d', 'oilRate', true],
    ['water STB/d', 'waterRate', true], ['gas MMscf/d', 'gasRate', true],
    ['timesteps', 'timesteps', true], ['wall time s', 'wallSeconds', true],
    ['message', 'message', false]]);
}

function cellValue(s, key) {
  if (key.indexOf('varied:') === 0) return s.varied[Number(key.slice(7))];
  return key === 'oilRate' || key === 'waterRate' || key === 'gasRate'
             ? (s.rates ? s.rates[key] : null) : s[key];
}

function fillRows(body, list, cols) {
  while (body.firstChild) body.removeChild(body.firstChild);
  list.forEach(function (s) {
    var tr = add(body, 'tr', s.state === 'ok' ? null : { class: s.state });
    cols.forEach(function (col) {
      var v = cellValue(s, col[1]);
      var td = add(tr, 'td', typeof v === 'number' ? { class: 'num' } : null);
      if (col[1] === 'name' && s.link) {
        add(td, 'a', { href: s.link }, s.name);
      } else if (col[1] === 'status') {
        add(td, 'span', { class: 'status-' + s.state }, v);
      } else {
        td.textContent = typeof v === 'object' && v !== null ? JSON.stringify(v) : fmt(v);
      }
    });
  });
}

function compare(key, up) {
  return function (a, b) {
    var x = cellValue(a, key), y = cellValue(b, key);
    var missingX = x === null || x === undefined, missingY = y === null || y === undefined;
    if (missingX || missingY) return missingX === missingY ? 0 : missingX ? 1 : -1;
    var r = typeof x === 'number' && typeof y === 'number' ? x - y
                                                           : String(x).localeCompare(String(y));
    return up ? r : -r;
  };
}

function drawTable(d, list) {
  var cols = columns(d);
  var t = add(report.root, 'table', { id: 'scenarios' });
  var hr = add(add(t, 'thead'), 'tr');
  var body = add(t, 'tbody');
  var sorted = { key: null, up: true };
  cols.forEach(function (col) {
    var th = add(hr, 'th', { class: 'sortable', 'data-key': col[1], title: 'sort' }, col[0]);
    th.addEventListener('click', function () {
      sorted.up = sorted.key === col[1] ? !sorted.up : true;
      sorted.key = col[1];
      list.sort(compare(col[1], sorted.up));
      Array.prototype.forEach.call(hr.cells, function (c) { c.removeAttribute('aria-sort'); });
      th.setAttribute('aria-sort', sorted.up ? 'ascending' : 'descending');
      fillRows(body, list, cols);
    });
  });
  fillRows(body, list, cols);
}

// Each result against the varied value `k` (the scenario's name when none
// varied): numbers on a line in their order, anything else as categories.
function drawAgainst(d, box, k) {
  while (box.firstChild) box.removeChild(box.firstChild);
  report.charts = report.charts.filter(function (c) {
    if (!document.body.contains(c.canvas)) { c.destroy(); return false; }
    return true;
  });
  var xOf = function (s) { return k < 0 ? s.name : s.varied[k]; };
  var numeric = k >= 0 && d.scenarios.every(function (s) {
    return typeof xOf(s) === 'number' || xOf(s) === null;
  });
  var xTitle = k < 0 ? 'scenario' : d.varied[k];
  var row = add(box, 'div', { class: 'charts' });
  [[objectiveTitle(d), 'objective', false], ['oil rate [STB/d]', 'oilRate', true],
   ['water rate [STB/d]', 'waterRate', true], ['gas rate [MMscf/d]', 'gasRate', true]]
      .forEach(function (q, i) {
        var drawn = d.scenarios.filter(function (s) {
          var v = cellValue(s, q[1]);
          return s.state === 'ok' && typeof v === 'number' && xOf(s) !== null;
        });
        if (!drawn.length) return;
        var points = drawn.map(function (s) { return { x: xOf(s), y: cellValue(s, q[1]) }; });
        if (numeric) points.sort(function (a, b) { return a.x - b.x; });
        chart(row, 'against-' + q[1], {
          type: numeric ? 'line' : 'bar',
          data: numeric ? { datasets: [lineSet(q[0], points, 'y', palette[i])] }
                        : { labels: points.map(function (p) { return String(p.x); }),
                            datasets: [{ label: q[0], backgroundColor: palette[i],
                                         data: points.map(function (p) { return p.y; }) }] },
          options: { parsing: numeric ? false : undefined,
                     plugins: { legend: { display: false },
                                title: { display: true, text: q[0] + ' against ' + xTitle } },
                     scales: { x: numeric ? { type: 'linear', title: { display: true, text: xTitle } }
                                          : { title: { display: true, text: xTitle } },
                               y: valueAxis(q[0], q[2]) } },
        });
      });
  var missing = d.scenarios.filter(function (s) { return s.state !== 'ok'; });
  if (missing.length) {
    add(box, 'p', { class: 'missing', id: 'not-charted' }, 'Not in the charts: ' +
        missing.map(function (s) {
          return s.name + (k >= 0 && s.varied[k] !== null ? ' (' + xTitle + ' ' + fmt(s.varied[k]) +
                                                             ')' : '') + ': ' + s.status;
        }).join('; '));
  }
}

finish(function () {
  var d = report.data, list = d.scenarios.slice();
  var failed = list.filter(function (s) { return s.state === 'failed'; }).length;
  var stopped = list.filter(function (s) { return s.state === 'interrupted'; }).length;
  document.title = list.length + ' scenarios' + (d.varied.length ? ' over ' + d.varied.join(', ') : '');
  add(report.root, 'h1', null, list.length + ' scenarios: ' + d.passed + ' passed, ' + failed +
      ' failed' + (stopped ? ', ' + stopped + ' interrupted' : ''));
  drawTable(d, list);
  add(report.root, 'h2', null, 'Results against what varied');
  var pick = add(report.root, 'p');
  add(pick, 'label', { for: 'against' }, 'against ');
  var select = add(pick, 'select', { id: 'against' });
  d.varied.forEach(function (path, i) { add(select, 'option', { value: String(i) }, path); });
  if (!d.varied.length) add(select, 'option', { value: '-1' }, 'scenario');
  var box = add(report.root, 'div');
  select.addEventListener('change', function () { drawAgainst(d, box, Number(select.value)); });
  drawAgainst(d, box, d.varied.length ? 0 : -1);
});
