// The sample page: one call to the "Echo" service over each channel of the
// bridge, in turn, each checked against its answer.
(function () {
    var channels = [
        { name: 'hybrid-scheme', mode: hybrid.exec.bridgeModes.HYBRID_SCHEME },
        { name: 'fragment', mode: hybrid.exec.bridgeModes.FRAGMENT },
        { name: 'xhr', mode: hybrid.exec.bridgeModes.XHR }
    ];
    var answered = 0;

    function tryChannel(index) {
        if (index >= channels.length) {
            console.log('sample app: ' + (answered === channels.length ? 'ready' : 'not ready'));
            return;
        }
        var channel = channels[index];
        var token = 'hello over ' + channel.name;
        var settled = false;
        function settle(outcome) {
            if (settled) return;
            settled = true;
            console.log('poke ' + channel.name + ': ' + outcome);
            tryChannel(index + 1);
        }
        hybrid.exec.setJsToNativeBridgeMode(channel.mode);
        hybrid.exec(function (message) {
            if (message && message[0] === token) {
                answered++;
                settle('ok');
            } else {
                settle('failed unexpected answer ' + JSON.stringify(message));
            }
        }, function (error) {
            settle('failed ' + JSON.stringify(error));
        }, 'Echo', 'echo', [token]);
        setTimeout(function () { settle('failed no answer within 5 s'); }, 5000);
    }

    document.addEventListener('deviceready', function () { tryChannel(0); }, false);
})();
