// Drives the gateway's PJLink port with the npm "pjlink" client: powers the projector on, waits
// for it to report on, then reads its input, lamp and name. Prints one JSON object.
// usage: node client.js HOST PORT PASSWORD
'use strict';
const PJLink = require('pjlink');

const [host, port, password] = process.argv.slice(2);
const projector = new PJLink(host, Number(port), password || undefined);
const result = {};

const fail = (step, err) => {
    result.error = `${step}: ${err.message || err}`;
    finish();
};
const finish = () => {
    projector.disconnect();
    console.log(JSON.stringify(result));
    process.exit(result.error ? 1 : 0);
};

const readRest = () => {
    projector.getInput((err, input) => {
        if (err) return fail('input', err);
        result.input = input.code;
        projector.getLamps((err, lamps) => {
            if (err) return fail('lamp', err);
            result.lamps = lamps;
            projector.getName((err, name) => {
                if (err) return fail('name', err);
                result.name = name;
                finish();
            });
        });
    });
};

// The projector counts down first; the gateway reads it again right after the command.
const waitForOn = (triesLeft) => {
    projector.getPowerState((err, state) => {
        if (err) return fail('power query', err);
        result.power = state;
        if (state === PJLink.POWER.ON || triesLeft === 0) return readRest();
        setTimeout(() => waitForOn(triesLeft - 1), 100);
    });
};

projector.powerOn((err) => {
    if (err) return fail('power on', err);
    result.poweredOn = true;
    waitForOn(50);
});
