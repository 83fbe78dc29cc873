// Helpers shared by the run page and the page over many runs. Every text
// from the data goes in through textContent: nothing from a workbook, a
// scenario or an error message is ever parsed as markup.
'use strict';
var report = {
  data: JSON.parse(document.getElementById('report-data').textContent),
  root: document.getElementById('report'),
  charts: [],
};

// An element with attributes and a text (never markup).
function el(tag, attrs, text) {
  var e = document.createElement(tag);
  if (attrs) Object.keys(attrs).forEach(function (k) { e.setAttribute(k, attrs[k]); });
  if (text !== undefined && text !== null) e.textContent = String(text);
  return e;
}

function add(parent, tag, attrs, text) {
  return parent.appendChild(el(tag, attrs, text));
}

function fmt(v) {
  if (v === null || v === undefined) return '';
  if (typeof v !== 'number') return String(v);
  if (v === 0) return '0';
  var a = Math.abs(v);
  return a >= 1e6 || a < 1e-3 ? v.toExponential(4) : String(Number(v.toPrecision(7)));
}

function table(parent, headers, rows, numeric) {
  var t = add(parent, 'table');
  var hr = add(add(t, 'thead'), 'tr');
  headers.forEach(function (h) { add(hr, 'th', null, h); });
  var body = add(t, 'tbody');
  rows.forEach(function (r) {
    var tr = add(body, 'tr');
    r.forEach(function (c, i) {
      add(tr, 'td', numeric && numeric[i] ? { class: 'num' } : null, fmt(c));
    });
  });
  return t;
}

var palette = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2',
               '#7f7f7f', '#bcbd22', '#17becf'];

// Points for a line over the timesteps: {x, y}, a gap where a value is
// missing. Chart.js reads them as they are (no parsing), which is what its
// decimation needs.
function series(xs, ys) {
  var out = new Array(xs.length), gaps = false;
  for (var i = 0; i < xs.length; ++i) {
    var y = ys[i];
    if (y === null || y === undefined) { y = NaN; gaps = true; }
    out[i] = { x: xs[i], y: y };
  }
  out.gaps = gaps;
  return out;
}

// A chart in a new box under `parent`. `id` names it for anyone reading the
// page (the tests): the canvas carries the number of points each data set
// holds, read back from the chart itself.
function chart(parent, id, config, wide) {
  var box = add(parent, 'div', { class: wide ? 'chart wide' : 'chart' });
  var canvas = add(box, 'canvas', { 'data-chart': id });
  config.options = Object.assign({
    animation: false,
    responsive: true,
    maintainAspectRatio: false,
    normalized: true,
  }, config.options || {});
  var c = new Chart(canvas.getContext('2d'), config);
  report.charts.push(c);
  canvas.setAttribute('data-points', c.data.datasets.filter(function (d) {
    return !d.isLimit;
  }).map(function (d) {
    // Decimation draws fewer points but keeps every one in _data.
    return (d._data || d.data).length;
  }).join(','));
  return c;
}

// Options for a line over many points: decimated for drawing, every point
// kept in the data.
function lineOptions(xTitle, axes) {
  var scales = { x: { type: 'linear', ticks: { precision: 0 },
                      title: { display: true, text: xTitle } } };
  axes.forEach(function (a, i) {
    scales[a.id] = { type: 'linear', position: i === 0 ? 'left' : 'right',
                     title: { display: true, text: a.title },
                     grid: { drawOnChartArea: i === 0 } };
  });
  return {
    parsing: false,
    indexAxis: 'x',
    interaction: { mode: 'nearest', axis: 'x', intersect: false },
    plugins: { decimation: { enabled: true, algorithm: 'min-max' } },
    scales: scales,
  };
}

function lineSet(label, points, axis, color) {
  // Lines without gaps are drawn as one path, which is much faster.
  return { label: label, data: points, yAxisID: axis, borderColor: color, backgroundColor: color,
           borderWidth: 1.5, pointRadius: points.length > 60 ? 0 : 2, spanGaps: !points.gaps };
}

// Marks the page drawn: how long it took since navigation started and any
// failure, for whoever loads it headless.
function finish(draw) {
  var root = document.documentElement;
  window.addEventListener('load', function () {
    root.setAttribute('data-load-ms', String(Math.round(performance.now())));
  });
  try {
    draw();
  } catch (e) {
    add(report.root, 'p', { class: 'error' }, 'The page could not be drawn: ' + e);
    root.setAttribute('data-failed', String(e));
    throw e;
  } finally {
    root.setAttribute('data-draw-ms', String(Math.round(performance.now())));
    root.setAttribute('data-charts', String(report.charts.length));
    root.setAttribute('data-ready', '1');
  }
}
