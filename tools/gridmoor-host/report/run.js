// The page of one run: header, error, streams, published variables, the
// optimiser's search per timestep and the final controls.
function drawHeader(d) {
  var h = d.header;
  add(report.root, 'h1', null, 'Run of ' + (h.scenario || 'a scenario'));
  document.title = 'Gridmoor run: ' + (h.scenario || '');
  if (d.error) {
    var box = add(report.root, 'div', { class: 'error', id: 'run-error' });
    add(box, 'strong', null, 'The run failed' +
        (d.error.timestep === null ? ' before the first timestep' :
                                     ' at timestep ' + d.error.timestep));
    var dl = add(box, 'dl');
    [['message', d.error.message], ['command', d.error.command], ['code', d.error.code],
     ['timestep', d.error.timestep === null ? 'before the first' : d.error.timestep]]
        .forEach(function (p) { add(dl, 'dt', null, p[0]); add(dl, 'dd', null, p[1]); });
    add(box, 'p', null, 'Below: the results as far as the run got.');
  }
  var dl2 = add(report.root, 'dl', { class: 'header' });
  [['scenario', h.scenario], ['workbook', h.workbook], ['case', h.case], ['start', h.start],
   ['timesteps', h.timesteps + ' of ' + h.stepDays + ' d (' + d.steps.t.length + ' done)'],
   ['status', h.status],
   ['wall time', h.wallSeconds === null ? '' : h.wallSeconds.toFixed(1) + ' s'],
   ['driver', h.driver + ' (' + h.mode + ')'], ['office', h.office], ['library', h.library]]
      .forEach(function (p) {
        add(dl2, 'dt', null, p[0]);
        add(dl2, 'dd', p[0] === 'status' ? { class: 'status-' + h.status } : null, p[1]);
      });
  if (d.notes.length) {
    add(report.root, 'h2', null, 'Notes and warnings');
    var ul = add(report.root, 'ul', { class: 'notes' });
    d.notes.forEach(function (n) { add(ul, 'li', null, n); });
  }
}

var kRates = [['oilRate', 'oil STB/d', 'y'], ['waterRate', 'water STB/d', 'y'],
              ['gasRate', 'gas MMscf/d', 'y2']];
var kConditions = [['pressure', 'p psig', 'y'], ['temperature', 'T degF', 'y2']];

function drawStreams(d, output, title) {
  var list = d.streams.filter(function (s) { return s.output === output; });
  if (!list.length) return;
  add(report.root, 'h2', null, title);
  list.forEach(function (s) {
    add(report.root, 'h3', null, s.name);
    var row = add(report.root, 'div', { class: 'charts' });
    [['rates', kRates, 'STB/d', 'MMscf/d'], ['conditions', kConditions, 'psig', 'degF']]
        .forEach(function (kind) {
          chart(row, 'stream-' + s.index + '-' + kind[0], {
            type: 'line',
            data: { datasets: kind[1].map(function (f, i) {
              return lineSet(f[1], series(s.t, s[f[0]]), f[2], palette[i]);
            }) },
            options: lineOptions('timestep', [{ id: 'y', title: kind[2] }, { id: 'y2', title: kind[3] }]),
          });
        });
  });
}

function drawPublished(d) {
  if (!d.published.length) return;
  add(report.root, 'h2', null, 'Published variables');
  var numeric = d.published.filter(function (p) { return p.numeric; });
  if (numeric.length) {
    chart(add(report.root, 'div', { class: 'charts' }), 'published', {
      type: 'line',
      data: { datasets: numeric.map(function (p, i) {
        return lineSet(p.name + (p.unit ? ' [' + p.unit + ']' : ''), series(p.t, p.value), 'y',
                       palette[i % palette.length]);
      }) },
      options: lineOptions('timestep', [{ id: 'y', title: 'value' }]),
    }, true);
  }
  table(report.root, ['variable', 'unit', 'last timestep', 'last value'],
        d.published.map(function (p) {
          return [p.name, p.unit, p.t[p.t.length - 1], p.value[p.value.length - 1]];
        }), [false, false, true, true]);
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
                              title: { display: true, text: 'trial' } } } },
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
  if (o.byTimestep.t.length) {
    chart(add(report.root, 'div', { class: 'charts' }), 'objective', {
      type: 'line',
      data: { datasets: [
        lineSet('objective at the chosen point', series(o.byTimestep.t, o.byTimestep.objective), 'y', palette[0]),
        lineSet('evaluations', series(o.byTimestep.t, o.byTimestep.evaluations), 'y2', palette[1]),
      ] },
      options: lineOptions('timestep', [{ id: 'y', title: o.unit || 'objective' }, { id: 'y2', title: 'evaluations' }]),
    }, true);
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
