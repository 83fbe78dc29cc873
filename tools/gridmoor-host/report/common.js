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

// A run's dates are day numbers from 1899-12-30, as the office counts them.
function isoDate(day) {
  if (typeof day !== 'number' || !isFinite(day)) return '';
  return new Date(Date.UTC(1899, 11, 30) + Math.round(day * 86400000)).toISOString().slice(0, 10);
}

// The finite values a chart draws on axis `id`.
function axisValues(chart, id) {
  var values = [];
  chart.data.datasets.forEach(function (d) {
    if (d.isLimit || (d.yAxisID || 'y') !== id) return;
    (d._data || d.data).forEach(function (p) {
      var v = typeof p === 'number' ? p : p && p.y;
      if (typeof v === 'number' && isFinite(v)) values.push(v);
    });
  });
  return values;
}

// A value axis that does not make noise a trend: it spans at least a
// thousandth of its largest value (one unit when every value is 0), and a
// rate axis has zero in view (so a stream that flows nothing is flat on 0,
// never on a negative rate).
function steadyLimits(rate) {
  return function (scale) {
    var values = axisValues(scale.chart, scale.id);
    var lo = values.length ? Math.min.apply(null, values) : 0;
    var hi = values.length ? Math.max.apply(null, values) : 0;
    scale.$data = [lo, hi];
    if (rate) { lo = Math.min(lo, 0); hi = Math.max(hi, 0); }
    var size = Math.max(Math.abs(lo), Math.abs(hi));
    var need = size === 0 ? 1 : size * 1e-3;
    if (hi - lo < need) {
      var mid = (lo + hi) / 2;
      lo = mid - need / 2; hi = mid + need / 2;
      if (rate && lo < 0 && mid >= 0) { hi -= lo; lo = 0; }
    }
    scale.min = lo; scale.max = hi;
  };
}

// A value axis with its unit: `rate` keeps zero in view.
function valueAxis(title, rate, position) {
  return { type: 'linear', position: position || 'left', afterDataLimits: steadyLimits(rate),
           title: { display: true, text: title } };
}

// The time axis of a run: dates, not timestep numbers; a few timesteps
// get a tick each, on their own dates.
function dateAxis() {
  return { type: 'linear', bounds: 'data', title: { display: true, text: 'date' },
           ticks: { maxTicksLimit: 8, callback: function (v) { return isoDate(v); } },
           afterBuildTicks: function (scale) {
             var days = {};
             scale.chart.data.datasets.forEach(function (d) {
               (d._data || d.data).forEach(function (p) { days[p.x] = true; });
             });
             var list = Object.keys(days).map(Number).sort(function (a, b) { return a - b; });
             if (list.length && list.length <= 12)
               scale.ticks = list.map(function (v) { return { value: v }; });
           } };
}

// What the page drew on each axis, for anyone reading it (the tests): the
// x axis's labels, and each value axis's span beside its values' extremes.
function describeAxes(canvas, c) {
  var ys = [];
  Object.keys(c.scales).forEach(function (id) {
    var s = c.scales[id];
    if (s.axis === 'x') {
      canvas.setAttribute('data-x-ticks', s.ticks.map(function (t) { return t.label; }).join('|'));
    } else if (s.$data) {
      ys.push([id, s.min, s.max, s.$data[0], s.$data[1]].join(' '));
    }
  });
  canvas.setAttribute('data-y', ys.join(';'));
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
  describeAxes(canvas, c);
  return c;
}

// Options for a line over the run's dates, one quantity on one axis:
// decimated for drawing, every point kept in the data.
function lineOptions(yTitle, rate, title) {
  return {
    plugins: { decimation: { enabled: true, algorithm: 'min-max' },
               title: { display: !!title, text: title || '' },
               legend: { display: false } },
    scales: { x: dateAxis(), y: valueAxis(yTitle, rate) },
    parsing: false,
    indexAxis: 'x',
    interaction: { mode: 'nearest', axis: 'x', intersect: false },
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
