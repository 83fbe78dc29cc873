// The page of one run: header, error, streams, published variables, the
// optimiser's search per timestep and the final controls.
function stepDate(d, t) {
  var i = d.steps.t.indexOf(t);
  return i < 0 ? '' : ' (' + d.steps.date[i] + ')';
}

function timestepRange(d) {
  var h = d.header, done = d.steps.date;
  var plan = h.timesteps + (h.timesteps === 1 ? ' timestep' : ' timesteps') + ' of ' +
             h.stepDays + (h.stepDays === 1 ? ' day' : ' days') + ' from ' + h.start;
  if (!done.length) return plan + ', none done';
  return plan + '; ' + done.length + ' done, ' + done[0] +
         (done.length > 1 ? ' to ' + done[done.length - 1] : '');
}

// Why the run stopped: a signal is an interruption, never a failure.
function drawStop(d) {
  var e = d.error;
  if (!e) return;
  var where = e.timestep === null ? ' before the first timestep'
                                  : ' at timestep ' + e.timestep + stepDate(d, e.timestep);
  var box = add(report.root, 'div', { class: e.signal ? 'error interrupted' : 'error',
                                      id: 'run-error' });
  add(box, 'strong', null, e.signal ? 'The run was interrupted by ' + e.signal + where
                                    : 'The run failed' + where);
  var dl = add(box, 'dl');
  var rows = e.signal ? [] : [['operation', e.command || '(the host itself)'],
                              ['message', e.message]];
  rows.push(['last good timestep', e.lastGood === null ? 'none'
                                                       : e.lastGood + stepDate(d, e.lastGood)]);
  rows.forEach(function (p) { add(dl, 'dt', null, p[0]); add(dl, 'dd', null, p[1]); });
  if (e.sent.length) {
    add(box, 'p', null, 'Inputs sent to the workbook in the timestep it stopped in:');
    e.sent.forEach(function (s) {
      var keys = Object.keys(s.values);
      table(box, ['stream'].concat(keys), [[s.stream].concat(keys.map(function (k) {
        return s.values[k];
      }))], [false].concat(keys.map(function () { return true; })));
    });
  }
  add(box, 'p', null, 'Below: the results as far as the run got.');
}

function drawHeader(d) {
  var h = d.header;
  var title = add(report.root, 'h1', null, h.name || 'Run');
  if (h.description) add(report.root, 'p', { class: 'description' }, h.description);
  document.title = (h.name || 'Run') + (h.description ? ': ' + h.description : '');
  title.id = 'run-title';
  drawStop(d);
  var dl2 = add(report.root, 'dl', { class: 'header' });
  var status = h.status === 'interrupted' && d.error ? 'interrupted by ' + d.error.signal : h.status;
  [['scenario', h.scenario], ['workbook', h.workbook], ['case', h.case],
   ['timesteps', timestepRange(d)], ['status', status],
   ['wall time', h.wallSeconds === null ? '' : h.wallSeconds.toFixed(1) + ' s'],
   ['office', 'Calc ' + (h.office || '')], ['library', h.library + ' (' + h.mode + ')']]
      .forEach(function (p) {
        if (p[1] === '' || p[1] === undefined) return;
        add(dl2, 'dt', null, p[0]);
        add(dl2, 'dd', p[0] === 'status' ? { class: 'status-' + h.status, id: 'run-status' } : null,
            p[1]);
      });
  if (d.notes.length) {
    add(report.root, 'h2', null, 'Notes and warnings');
    var ul = add(report.root, 'ul', { class: 'notes' });
    d.notes.forEach(function (n) { add(ul, 'li', null, n); });
  }
}

// One chart per quantity, each on its own axis; rates keep zero in view.
var kFields = [['oilRate', 'oil rate', 'STB/d', true], ['waterRate', 'water rate', 'STB/d', true],
               ['gasRate', 'gas rate', 'MMscf/d', true], ['pressure', 'pressure', 'psig', false],
               ['temperature', 'temperature', 'degF', false]];

function hasData(values) {
  return values.some(function (v) { return typeof v === 'number' && isFinite(v); });
}

function drawStreams(d, output, title) {
  var list = d.streams.filter(function (s) {
    return s.output === output && (s.composition || kFields.some(function (f) {
      return hasData(s[f[0]]);
    }));
  });
  if (!list.length) return;
  add(report.root, 'h2', null, title);
  list.forEach(function (s) {
    add(report.root, 'h3', null, s.name);
    var row = add(report.root, 'div', { class: 'charts' });
    kFields.forEach(function (f, i) {
      if (!hasData(s[f[0]])) return;
      chart(row, 'stream-' + s.index + '-' + f[0], {
        type: 'line',
        data: { datasets: [lineSet(f[1], series(s.date, s[f[0]]), 'y', palette[i])] },
        options: lineOptions(f[1] + ' [' + f[2] + ']', f[3], s.name + ' ' + f[1]),
      });
    });
    if (s.composition) {
      add(report.root, 'p', null, 'Composition at timestep ' + s.composition.timestep +
          stepDate(d, s.composition.timestep));
      table(report.root, ['component'].concat(s.composition.columns), s.composition.rows,
            [false].concat(s.composition.columns.map(function () { return true; })))
          .className = 'composition';
    }
  });
}

// A published block (rows of tab-separated cells) as a table.
function blockTable(parent, text) {
  var rows = String(text).replace(/\r/g, '').split('\n').filter(function (r, i, all) {
    return r !== '' || i < all.length - 1;
  }).map(function (r) { return r.split('\t'); });
  var t = table(parent, [], rows);
  t.className = 'block';
  t.deleteTHead();
  return t;
}

function isBlock(v) {
  return typeof v === 'string' && (v.indexOf('\t') >= 0 || v.indexOf('\n') >= 0);
}

function drawPublished(d) {
  if (!d.published.length) return;
  add(report.root, 'h2', null, 'Published variables');
  var row = add(report.root, 'div', { class: 'charts' });
  d.published.forEach(function (p, i) {
    if (!p.numeric || !hasData(p.value)) return;
    chart(row, 'published-' + i, {
      type: 'line',
      data: { datasets: [lineSet(p.name, series(p.date, p.value), 'y', palette[i % palette.length])] },
      options: lineOptions(p.name + (p.unit ? ' [' + p.unit + ']' : ''), false, p.name),
    });
  });
  var plain = d.published.filter(function (p) { return !isBlock(p.value[p.value.length - 1]); });
  if (plain.length) {
    table(report.root, ['variable', 'unit', 'last timestep', 'last value'],
          plain.map(function (p) {
            return [p.name, p.unit, p.t[p.t.length - 1], p.value[p.value.length - 1]];
          }), [false, false, true, true]);
  }
  d.published.forEach(function (p) {
    var last = p.value[p.value.length - 1];
    if (!isBlock(last)) return;
    add(report.root, 'h3', null, p.name + (p.unit ? ' [' + p.unit + ']' : '') +
        ' at timestep ' + p.t[p.t.length - 1] + stepDate(d, p.t[p.t.length - 1]));
    blockTable(report.root, last);
  });
}

// The rows of one timestep's search: trials are stored in timestep order.
function trialRange(o, t) {
  var first = -1, last = -1;
  for (var i = 0; i < o.trials.t.length; ++i) {
    if (o.trials.t[i] === t) { if (first < 0) first = i; last = i; }
    else if (first >= 0) break;
  }
  return first < 0 ? [0, 0] : [first, last + 1];
}

function trialChart(parent, o, range, id, label, values, limit) {
  var tr = o.trials, ok = [], bad = [], chosen = [];
  for (var i = range[0]; i < range[1]; ++i) {
    var p = { x: tr.n[i], y: values[i] === null ? NaN : values[i] };
    (tr.final[i] ? chosen : tr.feasible[i] ? ok : bad).push(p);
  }
  var sets = [
    { label: 'feasible', data: ok, backgroundColor: '#1f77b4', borderColor: '#1f77b4', pointRadius: 3 },
    { label: 'infeasible', data: bad, backgroundColor: '#d62728', borderColor: '#d62728',
      pointStyle: 'crossRot', pointRadius: 5, borderWidth: 2 },
    { label: 'chosen (solved again)', data: chosen, backgroundColor: '#ffbf00',
      borderColor: '#000', pointStyle: 'star', pointRadius: 9, borderWidth: 2 },
  ];
  if (limit !== undefined && range[1] > range[0]) {
    // The limit is drawn, not data: it stays out of the point counts.
    sets.push({ label: 'limit', type: 'line', data: [{ x: tr.n[range[0]], y: limit },
               { x: tr.n[range[1] - 1], y: limit }], borderColor: '#888', borderDash: [6, 4],
               pointRadius: 0, borderWidth: 1, isLimit: true });
  }
  return chart(parent, id, {
    type: 'scatter',
    data: { datasets: sets },
    options: { parsing: false, plugins: { title: { display: true, text: label } },
               scales: { x: { type: 'linear', ticks: { precision: 0 },
                              title: { display: true, text: 'trial' } },
                         y: valueAxis(label, false) } },
  });
}

function drawSearch(d, box, t) {
  var o = d.optimisation;
  while (box.firstChild) box.removeChild(box.firstChild);
  report.charts = report.charts.filter(function (c) {
    if (box.contains(c.canvas) || !document.body.contains(c.canvas)) { c.destroy(); return false; }
    return true;
  });
  var range = trialRange(o, t);
  add(box, 'p', { id: 'search-caption' }, 'Timestep ' + t + ': ' + (range[1] - range[0]) +
      ' evaluations (the last one is the chosen point solved again).');
  var row = add(box, 'div', { class: 'charts' });
  trialChart(row, o, range, 'trials-objective',
             (o.objective || 'objective') + (o.unit ? ' [' + o.unit + ']' : ''), o.trials.objective);
  o.constraints.forEach(function (c, k) {
    trialChart(row, o, range, 'trials-constraint-' + k,
               c.name + ' ' + { less: '<=', greater: '>=', equal: '=' }[c.type] + ' ' + fmt(c.limit) +
               (c.unit ? ' [' + c.unit + ']' : ''), o.trials.constraints[k], c.limit);
  });
}

function drawOptimisation(d) {
  var o = d.optimisation;
  if (!o) return;
  add(report.root, 'h2', null, 'Optimisation: ' + (o.maximise ? 'maximise ' : 'minimise ') +
      (o.objective || 'the objective') + (o.method ? ' (' + o.method + ')' : ''));
  if (hasData(o.byTimestep.objective)) {
    var name = (o.objective || 'objective') + (o.unit ? ' [' + o.unit + ']' : '');
    var row = add(report.root, 'div', { class: 'charts' });
    chart(row, 'objective', {
      type: 'line',
      data: { datasets: [lineSet(name, series(o.byTimestep.date, o.byTimestep.objective), 'y',
                                 palette[0])] },
      options: lineOptions(name, false, name + ' at the chosen point'),
    });
    chart(row, 'evaluations', {
      type: 'line',
      data: { datasets: [lineSet('evaluations', series(o.byTimestep.date, o.byTimestep.evaluations),
                                 'y', palette[1])] },
      options: lineOptions('evaluations', true, 'evaluations per timestep'),
    });
  }
  var steps = o.byTimestep.t;
  if (!o.trials.t.length) return;
  add(report.root, 'h3', null, 'The search in one timestep');
  var pick = add(report.root, 'p');
  add(pick, 'label', { for: 'search-timestep' }, 'timestep ');
  var input = add(pick, 'input', { id: 'search-timestep', type: 'number', min: o.trials.t[0],
                                   max: o.trials.t[o.trials.t.length - 1], step: 1 });
  var shown = steps.length ? steps[steps.length - 1] : o.trials.t[o.trials.t.length - 1];
  input.value = shown;
  var box = add(report.root, 'div');
  input.addEventListener('change', function () {
    var t = parseInt(input.value, 10);
    if (!isNaN(t)) drawSearch(d, box, t);
  });
  drawSearch(d, box, shown);
}

function drawControls(d) {
  var o = d.optimisation;
  if (!o || !o.final) return;
  add(report.root, 'h2', null, 'Controls at the end (timestep ' + o.final.timestep + ')');
  var t = table(report.root, ['control', 'unit', 'lower', 'value', 'upper', 'on a bound'],
                o.controls.map(function (c, i) {
                  return [c.name, c.unit, c.lower, o.final.controls[i], c.upper,
                          o.final.onBound[i] || ''];
                }), [false, false, true, true, true, false]);
  t.id = 'final-controls';
  Array.prototype.forEach.call(t.tBodies[0].rows, function (r, i) {
    if (o.final.onBound[i]) r.className = 'on-bound';
  });
  if (o.intControls.length) {
    table(report.root, ['integer control', 'state'], o.intControls.map(function (c, i) {
      return [c.name, o.final.states[i]];
    }));
  }
  add(report.root, 'p', null, 'objective ' + fmt(o.final.objective) +
      (o.final.feasible ? '' : ' (no feasible point found)'));
}

finish(function () {
  var d = report.data;
  drawHeader(d);
  drawStreams(d, true, 'Output streams');
  drawStreams(d, false, 'Inputs as sent');
  drawPublished(d);
  drawOptimisation(d);
  drawControls(d);
});
